// The sealed folder's verbs: thin calls of core/SealedFolder that say what happened.
#include "SealedFolders.h"

#include "CliSupport.h"
#include "core/SealedFolder.h"
#include "platform/Overwrite.h"

#include <cstdio>
#include <ctime>
#include <exception>

#include <sys/stat.h>

namespace cli {

namespace {

namespace sealed = core::sealed;

template <class Act> bool reporting(const std::string& arg, Act&& act) {
    try {
        act();
        return true;
    } catch (const std::bad_alloc&) {
        fail(arg + ": not enough memory to derive the key");
    } catch (const std::exception& e) {
        fail(arg + ": " + e.what());
    }
    return false;
}

const char* kindText(sealed::Kind kind) {
    switch (kind) {
    case sealed::Kind::Folder:
        return "folder";
    case sealed::Kind::Link:
        return "link";
    case sealed::Kind::File:
        break;
    }
    return "file";
}

} // namespace

bool isFolderArgument(const std::string& arg) {
    struct stat st {};
    return ::lstat(arg.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isSealedArgument(const std::string& arg) {
    return sealed::IsSealedFile(arg);
}

bool sealFolder(const std::string& arg, const std::string& password) {
    return reporting(arg, [&] {
        const sealed::SealResult result = sealed::Seal(arg, password);
        std::printf("sealed %s -> %s\n", arg.c_str(), result.sealedPath.c_str());
        // The sources were overwritten before they went: what this disk may still keep of them.
        const std::string warning = platform::overwriteWarning(platform::overwriteVerdictAt(result.sealedPath));
        if (!warning.empty())
            fail(warning);
        for (const std::string& left : result.notRemoved)
            fail(arg + ": sealed, but a source was left: " + left);
        if (!result.notRemoved.empty())
            throw std::runtime_error("some sources were left as they were (above)");
    });
}

bool openSealed(const std::string& arg, const std::string& password) {
    return reporting(arg, [&] { std::printf("unlocked %s -> %s\n", arg.c_str(), sealed::Open(arg, password).c_str()); });
}

bool takeOneOut(const std::string& arg, const std::string& path, const std::string& password) {
    return reporting(arg, [&] {
        std::printf("took %s out of %s -> %s\n", path.c_str(), arg.c_str(), sealed::TakeOne(arg, password, path).c_str());
    });
}

bool listSealed(const std::string& arg, const std::string& password) {
    return reporting(arg, [&] {
        const sealed::Listing listing = sealed::List(arg, password);
        std::printf("%s: sealed folder '%s', %zu entries\n", arg.c_str(), listing.entries[0].name.c_str(),
                    listing.entries.size() - 1);
        for (std::size_t i = 1; i < listing.entries.size(); ++i) {
            const sealed::Entry& e = listing.entries[i];
            const std::time_t when = static_cast<std::time_t>(e.mtimeSec);
            char date[32] = "?";
            if (const std::tm* tm = std::gmtime(&when))
                std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", tm);
            char mode[8];
            std::snprintf(mode, sizeof mode, "%04o", e.mode);
            std::string line = std::string(kindText(e.kind)) + " " + mode + " " + date + " ";
            if (e.kind == sealed::Kind::File)
                line += std::to_string(e.size) + " bytes ";
            line += listing.paths[i];
            if (e.kind == sealed::Kind::Link)
                line += " -> " + e.target;
            std::printf("  %s\n", line.c_str());
        }
    });
}

} // namespace cli
