// `tessaly-cli drive [LETTER FOLDER [KIND]]`: lists the drive table, or maps one drive to a host
// folder through the registry override.
#include "CliSupport.h"
#include "Verb.h"
#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace cli {

namespace {

const char* kindName(int kind) {
    static const char* const names[] = {"unknown", "not present", "removable", "fixed", "remote", "CD-ROM", "RAM disk"};
    return kind >= 0 && kind <= 6 ? names[kind] : "unknown";
}

// Lists the drive table, or maps one drive to a host folder through the registry override.
int runDrive(const Invocation& invocation) {
    const std::vector<std::string>& args = invocation.args;
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

} // namespace

const Verb kDriveVerb = {"drive", "drive [LETTER FOLDER [KIND]]",
                         "without arguments, list the drives: letter, host folder, kind; with a letter and a\n"
                         "host folder, map that drive to the folder (KIND: a drive type number, optional)",
                         runDrive};

} // namespace cli
