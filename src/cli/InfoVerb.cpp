// `tessaly-cli info FILE...`: whether each file is locked, in which format, and the size of its
// content.
#include "CliSupport.h"
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
    return infoFiles(invocation.args);
}

} // namespace

const Verb kInfoVerb = {"info", "info FILE...",
                        "tell whether each file is locked, in which format, and the size of its content;\n"
                        "for a strong locked file also its format version and key-derivation limits",
                        runInfo};

} // namespace cli
