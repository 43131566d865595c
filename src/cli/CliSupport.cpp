#include "CliSupport.h"

#include "Verb.h"
#include "core/PasswordRules.h"
#include "core/Register.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace cli {

namespace {

// The options every verb takes, after the verbs' own lines.
const char* const kOptionsText =
    "  --strong          lock into strong locked files (.TSX); a forgotten password cannot be\n"
    "                    recovered\n"
    "  --password-stdin  read the password from the first line of standard input instead of\n"
    "                    asking on the terminal (lock asks twice)\n"
    "  --help            show this text (also -h)\n";

const char* const kClosingText = "Exit status: 0 when everything succeeded, 1 when something failed, 2 for bad usage.\n"
                                 "Files are host paths; they must lie on one of the program's drives.\n";

// A verb's summary in its column: the name, then each line of the text at the same indent.
std::string summaryLines(const Verb& verb, std::size_t column) {
    std::string name = verb.name;
    name.resize(std::max(column, name.size() + 1), ' ');
    std::string text = "  " + name;
    for (const char* c = verb.summary; *c != '\0'; ++c) {
        text += *c;
        if (*c == '\n')
            text.append(column + 2, ' ');
    }
    return text + "\n";
}

bool refuseMissingPassword(const std::string& password, int& exitCode) {
    if (!core::IsMissingPassword(password))
        return false;
    fail(core::kTypePasswordMessage);
    exitCode = kUsage;
    return true;
}

} // namespace

std::string UsageText() {
    std::string text;
    std::string commands;
    std::string options;
    for (const Verb* verb : Verbs()) {
        text += (text.empty() ? "Usage: " : "       ") + std::string("tessaly-cli ") + verb->synopsis + "\n";
        if (verb->name[0] == '-')
            options += summaryLines(*verb, 18);
        else
            commands += summaryLines(*verb, 10);
    }
    return text + "\n" + commands + "\n" + kOptionsText + options + "\n" + kClosingText;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "tessaly-cli: %s\nTry 'tessaly-cli --help'.\n", message.c_str());
    return kUsage;
}

void fail(const std::string& what) {
    std::fprintf(stderr, "tessaly-cli: %s\n", what.c_str());
}

std::string hostForm(const std::string& windowsPath) {
    try {
        return platform::toHost(windowsPath);
    } catch (const platform::SysError&) {
        return windowsPath;
    }
}

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
    if (platform::isFolder(path)) {
        fail(hostPath + ": is a folder; tessaly-cli locks and unlocks files (a folder is locked from the window's "
                        "Lock Folder)");
        return {};
    }
    if (!platform::exists(path)) {
        fail(hostPath + ": no such file");
        return {};
    }
    return path;
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
            fail(core::kPasswordsDifferMessage);
            exitCode = kFailed;
            return false;
        }
    }
    return true;
}

bool acceptShortPassword(const std::string& password, bool fromTerminal) {
    if (!core::IsShortPassword(password))
        return true;
    const std::size_t n = core::PasswordCharacters(password);
    fail("this password has only " + std::to_string(n) + (n == 1 ? " character. " : " characters. ") +
         core::kShortPasswordLine);
    bool yes = true;
    if (fromTerminal && askYesNo("Use it anyway? [y/N] ", yes) && !yes) {
        fail("the password was not taken");
        return false;
    }
    return true;
}

core::EngineContext engineContext(TerminalPrompt& prompt, const std::string& registerPath, bool strong) {
    core::EngineContext ctx{.prompt = prompt, .registerPath = registerPath};
    ctx.windowName = "tessaly-cli";
    ctx.strongLocks = strong;
    return ctx;
}

std::string registerPath() {
    const std::string unreachable = core::RegisterUnreachableReason();
    if (!unreachable.empty())
        throw std::runtime_error(unreachable);
    return core::RegisterPath();
}

std::string openRegister() {
    const std::string reg = registerPath();
    core::EnsureRegister(reg);
    return reg;
}

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

std::vector<core::RunItem> runItems(const RunFiles& run) {
    std::vector<core::RunItem> items;
    for (std::size_t i = 0; i < run.paths.size(); ++i)
        items.push_back({GetFolderPart(run.paths[i]), GetFileNamePart(run.paths[i]), run.args[i]});
    return items;
}

core::RunPolicy runPolicy(const std::string& registerPath) {
    core::RunPolicy policy;
    policy.registerPath = registerPath;
    policy.windowName = "tessaly-cli";
    policy.stopAtError = false;
    policy.nameFileInRefusals = true;
    policy.checkpoint = StepHook();
    const std::string self = QCoreApplication::applicationFilePath().toLocal8Bit().toStdString();
    const std::string folder = QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
    for (const std::string& host : {self, folder + "/tessaly"}) {
        try {
            if (std::string path = platform::toWindows(host); !path.empty())
                policy.ownExecutables.push_back(std::move(path));
        } catch (const platform::SysError&) {
            // Not on any of the program's drives: no file argument can name it either.
        }
    }
    return policy;
}

bool finishRun(const core::RunOutcome& outcome, const char* verb) {
    if (outcome.error)
        fail(outcome.error->description());
    else if (outcome.unexplained)
        fail(std::string("could not ") + verb + " every file (an unexpected error occurred)");
    for (const core::ItemResult& item : outcome.items)
        if (item.outcome != core::ItemOutcome::Done)
            return false;
    return !outcome.error;
}

} // namespace cli
