// `tessaly-cli info FILE...`: whether each file is locked, in which format, and the size of its
// content.
#include "CliSupport.h"
#include "SealedFolders.h"
#include "Verb.h"
#include "core/StrongEngine.h"

#include <cstdio>

namespace cli {

namespace {

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

int runInfo(const Invocation& invocation) {
    if (invocation.args.empty())
        return usageError("info needs at least one file");
    // A sealed folder tells nothing without the password: it is asked for once, when one is named.
    std::vector<std::string> files, sealedFolders;
    for (const std::string& arg : invocation.args)
        (isSealedArgument(arg) ? sealedFolders : files).push_back(arg);
    bool listedAll = true;
    if (!sealedFolders.empty()) {
        std::string password;
        int exitCode = kOk;
        if (!readPassword(invocation.passwordStdin, false, password, exitCode))
            return exitCode;
        for (const std::string& arg : sealedFolders)
            listedAll = listSealed(arg, password) && listedAll;
    }
    const int rc = files.empty() ? kOk : infoFiles(files);
    return rc == kOk && !listedAll ? kFailed : rc;
}

} // namespace

const Verb kInfoVerb = {"info", "info FILE...",
                        "tell whether each file is locked, in which format, and the size of its content;\n"
                        "for a strong locked file also its format version and key-derivation limits;\n"
                        "a sealed folder's tree is listed after its password",
                        runInfo};

} // namespace cli
