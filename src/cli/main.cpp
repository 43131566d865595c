// tessaly-cli: locks, unlocks and inspects files and lists the register from a shell, with the
// program's own engines, register, registry and drive table.

#include "TerminalPrompt.h"
#include "core/LockChecks.h"
#include "core/LockEngine.h"
#include "core/PasswordRules.h"
#include "core/Recovery.h"
#include "core/Register.h"
#include "core/StrongEngine.h"
#include "diagnostics/VersionOption.h"
#include "platform/Attributes.h"
#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "shredder/ShredCli.h"

#include <QCoreApplication>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "Usage: tessaly-cli [--password-stdin] [--strong] lock FILE...\n"
    "       tessaly-cli [--password-stdin] unlock FILE...\n"
    "       tessaly-cli info FILE...\n"
    "       tessaly-cli vault\n"
    "       tessaly-cli recover [FOLDER...]\n"
    "       tessaly-cli drive [LETTER FOLDER [KIND]]\n"
    "       tessaly-cli shred PATH...\n"
    "\n"
    "  lock     lock each file: below 200000 bytes into a .TSL file, else into a .TSW file\n"
    "           with --strong: into a strong locked file (.TSX) of every size, content and name\n"
    "           kept secret (Argon2id key, XChaCha20-Poly1305); the locked file gets a random name\n"
    "  unlock   unlock each .TSL or .TSW file (one layer at a time), and each strong locked file\n"
    "           (known by its content, whatever its name)\n"
    "  info     tell whether each file is locked, in which format, and the size of its content;\n"
    "           for a strong locked file also its format version and key-derivation limits\n"
    "  vault    list the register of locked items: kind, path before the lock, path now\n"
    "  recover  finish or roll back lock and unlock runs that were interrupted, in the given\n"
    "           folders and in every folder that holds a registered locked file\n"
    "  drive    without arguments, list the drives: letter, host folder, kind; with a letter and a\n"
    "           host folder, map that drive to the folder (KIND: a drive type number, optional)\n"
    "  shred    overwrite and delete each file, and each folder with everything in it\n"
    "\n"
    "  --strong          lock into strong locked files (.TSX); a forgotten password cannot be\n"
    "                    recovered\n"
    "  --password-stdin  read the password from the first line of standard input instead of\n"
    "                    asking on the terminal (lock asks twice)\n"
    "  --help            show this text\n"
    "  --version         show the program's name and version\n"
    "\n"
    "Exit status: 0 when everything succeeded, 1 when something failed, 2 for bad usage.\n"
    "Files are host paths; they must lie on one of the program's drives.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "tessaly-cli: %s\n%s", message.c_str(), kUsageText);
    return kUsage;
}

void fail(const std::string& what) {
    std::fprintf(stderr, "tessaly-cli: %s\n", what.c_str());
}

// A host path for display; the Windows form when no drive holds it.
std::string hostForm(const std::string& windowsPath) {
    try {
        return platform::toHost(windowsPath);
    } catch (const platform::SysError&) {
        return windowsPath;
    }
}

// The Windows-form path of an existing file on the command line, or "" after saying why not.
std::string fileArgument(const std::string& hostPath) {
    if (hostPath.find('\\') != std::string::npos) {
        fail(hostPath + ": a name in this path holds a \"\\\", which Tessaly reads as a folder separator; " +
             "rename it and try again");
        return {};
    }
    std::string path;
    try {
        path = platform::toWindows(hostPath);
    } catch (const platform::SysError& e) {
        path.clear();
    }
    if (path.empty()) {
        fail(hostPath + ": not on any of the program's drives");
        return {};
    }
    if (!platform::exists(path) || platform::isFolder(path)) {
        fail(hostPath + ": no such file");
        return {};
    }
    return path;
}

// A lock needs a password: an empty one is refused before any file is touched.
bool refuseMissingPassword(const std::string& password, int& exitCode) {
    if (!core::IsMissingPassword(password))
        return false;
    fail(core::kTypePasswordMessage);
    exitCode = kUsage;
    return true;
}

bool readPassword(bool fromStdin, bool confirm, std::string& password, int& exitCode) {
    if (fromStdin) {
        if (!std::getline(std::cin, password)) {
            exitCode = usageError("no password on standard input");
            return false;
        }
        if (!password.empty() && password.back() == '\r')
            password.pop_back();
        return !(confirm && refuseMissingPassword(password, exitCode));
    }
    if (!askPassword("Password: ", password)) {
        exitCode = usageError("no terminal to ask for the password (use --password-stdin)");
        return false;
    }
    if (confirm && refuseMissingPassword(password, exitCode))
        return false;
    if (confirm) {
        std::string again;
        askPassword("Confirm password: ", again);
        if (again != password) {
            fail("The two passwords are not the same!");
            exitCode = kFailed;
            return false;
        }
    }
    return true;
}

core::EngineContext engineContext(TerminalPrompt& prompt, const std::string& registerPath, bool strong = false) {
    core::EngineContext ctx{.prompt = prompt, .registerPath = registerPath};
    ctx.windowName = "tessaly-cli";
    ctx.strongLocks = strong;
    return ctx;
}

// The register's path: in the program's system folder, which must lie on one of its drives.
std::string registerPath() {
    if (GetSystemFolder().empty())
        throw std::runtime_error("the program's data folder " + platform::systemFolderHost() +
                                 " is on none of its drives");
    return core::RegisterPath();
}

// The register, created when missing.
std::string openRegister() {
    const std::string reg = registerPath();
    core::EnsureRegister(reg);
    return reg;
}

// Runs `act` on the Windows-form path of each file argument; a file that cannot be handled is
// reported and the others still run.
template <class Act> int eachFile(const std::vector<std::string>& files, Act&& act) {
    bool allOk = true;
    for (const std::string& arg : files) {
        const std::string path = fileArgument(arg);
        bool ok = false;
        if (!path.empty()) {
            try {
                ok = act(arg, path);
            } catch (const platform::SysError& e) {
                fail(arg + ": " + e.reason());
            }
        }
        allOk = allOk && ok;
    }
    return allOk ? kOk : kFailed;
}

// The files of a run that can be handled, in order, with their arguments; the others are reported.
struct RunFiles {
    std::vector<std::string> args;
    std::vector<std::string> paths;
    bool allFound = true;
};

RunFiles runFiles(const std::vector<std::string>& files) {
    RunFiles run;
    for (const std::string& arg : files) {
        const std::string path = fileArgument(arg);
        if (path.empty()) {
            run.allFound = false;
            continue;
        }
        run.args.push_back(arg);
        run.paths.push_back(path);
    }
    return run;
}

// The engines' outcome of each file: those that failed without a message of their own get a line.
bool reportOutcomes(const RunFiles& run, const std::vector<bool>& done, int shownBefore, TerminalPrompt& prompt,
                    const char* verb) {
    bool allOk = true;
    for (std::size_t i = 0; i < run.paths.size(); ++i)
        allOk = allOk && done[i];
    if (!allOk && prompt.shown() == shownBefore)
        fail(std::string("could not ") + verb + " every file (an unexpected error occurred)");
    return allOk;
}

int lockFiles(const std::vector<std::string>& files, const std::string& password, bool strong) {
    TerminalPrompt prompt;
    const std::string reg = openRegister();
    RunFiles run = runFiles(files);
    // As the program's lock command does: attributes off, then the engine by size (all files
    // together). A file that is not locked gets its attributes back.
    std::vector<unsigned> attributes;
    std::vector<std::string> targets;
    RunFiles ready;
    for (std::size_t i = 0; i < run.paths.size(); ++i) {
        const std::string& path = run.paths[i];
        // As the program's lock command does: the checks first.
        const std::string refusal = core::RefuseFileLock(reg, path);
        if (!refusal.empty()) {
            prompt.show(refusal, platform::Buttons::OK, platform::Icon::Exclamation, std::string());
            run.allFound = false;
            continue;
        }
        try {
            const unsigned before = platform::getAttributes(path) & ~platform::kAttrDirectory;
            if (before != platform::kAttrNormal)
                platform::setAttributes(path, platform::kAttrNormal);
            const bool small = platform::fileLength(path) < core::kLargeFileThreshold;
            attributes.push_back(before);
            targets.push_back(core::LockTargetPath(path, small));
            ready.args.push_back(run.args[i]);
            ready.paths.push_back(path);
        } catch (const platform::SysError& e) {
            fail(run.args[i] + ": " + e.description());
            run.allFound = false;
        }
    }
    const int before = prompt.shown();
    const std::vector<bool> done = core::LockFilesTogether(ready.paths, password, engineContext(prompt, reg, strong));
    // A strong locked file's name is drawn at random: the register says which it is.
    if (strong)
        for (const core::RegisterItem& item : core::QuietRegisterEntries(reg, settings::kSectionTSX))
            for (std::size_t i = 0; i < ready.paths.size(); ++i)
                if (item.text == ready.paths[i])
                    targets[i] = item.key;
    for (std::size_t i = 0; i < ready.paths.size(); ++i) {
        if (done[i]) {
            std::printf("locked %s -> %s\n", ready.args[i].c_str(), hostForm(targets[i]).c_str());
            continue;
        }
        try {
            if (platform::exists(ready.paths[i]) && attributes[i] != platform::kAttrNormal)
                platform::setAttributes(ready.paths[i], attributes[i]);
        } catch (const platform::SysError& e) {
            fail(ready.args[i] + ": its attributes could not be put back: " + e.description());
        }
    }
    const bool allOk = reportOutcomes(ready, done, before, prompt, "lock");
    return allOk && run.allFound ? kOk : kFailed;
}

int unlockFiles(const std::vector<std::string>& files, const std::string& password) {
    TerminalPrompt prompt;
    const std::string reg = openRegister();
    const RunFiles run = runFiles(files);
    RunFiles ready;
    bool allNamed = true;
    for (std::size_t i = 0; i < run.paths.size(); ++i) {
        const std::string extension = platform::upperText(GetExtension(run.paths[i]));
        bool strong = false;
        try {
            strong = core::StartsWithStrongHeader(run.paths[i]); // by content, whatever the name
        } catch (const platform::SysError&) {
        }
        if (strong && core::RefuseFileKind(run.paths[i]).empty()) {
            ready.args.push_back(run.args[i]);
            ready.paths.push_back(run.paths[i]);
            continue;
        }
        if (extension != "TSL" && extension != "TSW") {
            fail(run.args[i] + ": not a locked file name (.TSL or .TSW)");
            allNamed = false;
            continue;
        }
        // A pipe or a link named like a locked file is refused before anything reads it.
        const std::string refusal = core::RefuseFileKind(run.paths[i]);
        if (!refusal.empty()) {
            prompt.show(refusal, platform::Buttons::OK, platform::Icon::Exclamation, std::string());
            allNamed = false;
            continue;
        }
        bool locked = false;
        try {
            locked = core::StartsWithLockedHeader(run.paths[i]);
        } catch (const platform::SysError& e) {
            fail(run.args[i] + ": " + e.reason());
            allNamed = false;
            continue;
        }
        if (!locked) {
            fail(run.args[i] + ": not locked (it does not begin with a locked header)");
            allNamed = false;
            continue;
        }
        ready.args.push_back(run.args[i]);
        ready.paths.push_back(run.paths[i]);
    }
    const int before = prompt.shown();
    const std::vector<bool> done = core::UnlockFilesTogether(ready.paths, password, engineContext(prompt, reg));
    for (std::size_t i = 0; i < ready.paths.size(); ++i)
        if (done[i])
            std::printf("unlocked %s\n", ready.args[i].c_str());
    const bool allOk = reportOutcomes(ready, done, before, prompt, "unlock");
    return allOk && allNamed && run.allFound ? kOk : kFailed;
}

// Sweeps the given host folders and every folder the register knows; prints what was done.
int recover(const std::vector<std::string>& folders) {
    const std::string reg = registerPath();
    std::vector<std::string> windowsFolders;
    bool allFound = true;
    for (const std::string& arg : folders) {
        std::string path;
        try {
            path = platform::toWindows(arg);
        } catch (const platform::SysError&) {
        }
        if (path.empty() || !platform::isFolder(path)) {
            fail(arg + ": not a folder on any of the program's drives");
            allFound = false;
            continue;
        }
        windowsFolders.push_back(RemoveBackslash(path));
    }
    if (platform::exists(reg))
        for (std::string& folder : core::RegisterFolders(reg))
            windowsFolders.push_back(std::move(folder));
    const core::RecoveryReport report =
        core::RecoverFolders(platform::exists(reg) ? reg : std::string(), windowsFolders);
    std::string message = core::RecoveryMessage(report);
    for (auto cr = message.find('\r'); cr != std::string::npos; cr = message.find('\r', cr))
        message.erase(cr, 1);
    if (!message.empty())
        std::printf("%s\n", message.c_str());
    return report.failures.empty() && allFound ? kOk : kFailed;
}

int infoFiles(const std::vector<std::string>& files) {
    return eachFile(files, [](const std::string& arg, const std::string& path) {
        if (const auto strong = core::InspectStrongFile(path)) {
            const std::string content = strong->sizeKnown ? std::to_string(strong->contentSize) + " bytes"
                                                          : std::string("of unknown size (the file is damaged)");
            std::printf("%s: locked, strong format (.TSX), version %u, key derivation Argon2id opslimit %u memlimit "
                        "%u KiB, content %s\n",
                        arg.c_str(), static_cast<unsigned>(strong->version), strong->limits.opslimit,
                        strong->limits.memlimitKiB, content.c_str());
            return true;
        }
        const core::LockInfo info = core::InspectFile(path);
        const std::string size = std::to_string(info.contentSize);
        switch (info.kind) {
        case core::LockInfo::Plain:
            std::printf("%s: not locked, %s bytes\n", arg.c_str(), size.c_str());
            break;
        case core::LockInfo::Small:
            std::printf("%s: locked, small-file format (.TSL), content %s bytes\n", arg.c_str(), size.c_str());
            break;
        case core::LockInfo::Large:
            std::printf("%s: locked, large-file format (.TSW), content %s bytes\n", arg.c_str(), size.c_str());
            break;
        }
        return true;
    });
}

int listVault() {
    TerminalPrompt prompt;
    const std::string reg = registerPath();
    if (!platform::exists(reg))
        return kOk; // nothing was ever locked here
    // The readers only report a register they cannot read; here that is a failure to say.
    platform::readAll(reg);
    const int before = prompt.shown();
    const struct {
        const char* kind;
        std::vector<core::RegisterItem> items;
    } sections[] = {{"file (.TSL)", core::GetLockedTSLFiles(reg, prompt, "tessaly-cli")},
                    {"file (.TSW)", core::GetLockedTSWFiles(reg, prompt, "tessaly-cli")},
                    {"file (.TSX)", core::GetLockedTSXFiles(reg, prompt, "tessaly-cli")},
                    {"folder", core::GetLockedFolders(reg, prompt, "tessaly-cli")}};
    for (const auto& section : sections)
        for (const auto& item : section.items)
            std::printf("%s\t%s\t%s\n", section.kind, hostForm(item.text).c_str(), hostForm(item.key).c_str());
    return prompt.shown() == before ? kOk : kFailed;
}

const char* kindName(int kind) {
    static const char* const names[] = {"unknown", "not present", "removable", "fixed", "remote", "CD-ROM", "RAM disk"};
    return kind >= 0 && kind <= 6 ? names[kind] : "unknown";
}

// Lists the drive table, or maps one drive to a host folder through the registry override.
int drive(const std::vector<std::string>& args) {
    if (args.empty()) {
        for (const auto& d : platform::drives().drives()) {
            const int kind = platform::drives().kind(std::string(1, d.letter));
            std::printf("%c:\t%s\t%d (%s)\n", d.letter, d.hostFolder.c_str(), kind, kindName(kind));
        }
        return kOk;
    }
    if (args.size() < 2 || args.size() > 3 || args[0].size() != 1 ||
        !std::isalpha(static_cast<unsigned char>(args[0][0])))
        return usageError("drive takes a letter and a host folder, and optionally a kind");
    const std::string letter(1, static_cast<char>(std::toupper(static_cast<unsigned char>(args[0][0]))));
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(args[1], ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        fail(args[1] + ": not a folder");
        return kFailed;
    }
    unsigned long kind = 0;
    if (args.size() == 3) {
        char* end = nullptr;
        kind = std::strtoul(args[2].c_str(), &end, 10);
        if (args[2].empty() || *end != '\0' || kind > 6)
            return usageError("the drive kind is a number from 0 to 6");
    }
    std::string host = folder.lexically_normal().string();
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    platform::Registry& reg = platform::registry();
    long rc = reg.setString(platform::RegRoot::CurrentUser, settings::kDrivesKey, letter, host);
    if (rc == platform::kRegSuccess && args.size() == 3)
        rc = reg.setDword(platform::RegRoot::CurrentUser, settings::kDrivesKey, letter + ".Kind",
                          static_cast<std::uint32_t>(kind));
    if (rc != platform::kRegSuccess) {
        fail("could not write the registry (error " + std::to_string(rc) + ")");
        return kFailed;
    }
    return kOk;
}

int runCommand(const std::string& command, const std::vector<std::string>& files, bool passwordStdin, bool strong) {
    if (strong && command != "lock")
        return usageError("--strong goes with lock only");
    if (command == "vault") {
        if (!files.empty())
            return usageError("vault takes no files");
        return listVault();
    }
    if (command == "drive")
        return drive(files);
    if (command == "shred") {
        if (files.empty())
            return usageError("shred needs at least one file or folder");
        return shredder::ShredCommand(files, core::RegisterPath());
    }
    if (command == "recover")
        return recover(files);
    if (command != "lock" && command != "unlock" && command != "info")
        return usageError("unknown command " + command);
    if (files.empty())
        return usageError(command + " needs at least one file");
    if (command == "info")
        return infoFiles(files);

    std::string password;
    int exitCode = kOk;
    if (!readPassword(passwordStdin, command == "lock", password, exitCode))
        return exitCode;
    return command == "lock" ? lockFiles(files, password, strong) : unlockFiles(files, password);
}

} // namespace

int main(int argc, char** argv) {
    if (diagnostics::PrintVersionIfAsked(argc, argv))
        return kOk;
    QCoreApplication app(argc, argv);

    bool passwordStdin = false;
    bool strong = false;
    std::string command;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::fputs(kUsageText, stdout);
            return kOk;
        }
        if (!optionsEnded && arg == "--password-stdin")
            passwordStdin = true;
        else if (!optionsEnded && arg == "--strong")
            strong = true;
        else if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else if (!optionsEnded && arg.size() > 1 && arg[0] == '-')
            return usageError("unknown option " + arg);
        else if (command.empty())
            command = arg;
        else
            files.push_back(arg);
    }

    if (command.empty())
        return usageError("no command given");
    try {
        return runCommand(command, files, passwordStdin, strong);
    } catch (const platform::SysError& e) {
        fail(e.description());
    } catch (const std::exception& e) {
        fail(e.what());
    }
    return kFailed;
}
