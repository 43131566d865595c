#include "settings/modFileFunctions.h"

#include "platform/Attributes.h"
#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/ProtectedPaths.h"
#include "platform/ShellOps.h"

#include <exception>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

// ---- Path text operations ----

std::string AddBackslash(const std::string& text) {
    if (!text.empty() && text.back() == '\\')
        return text;
    return text + '\\';
}

std::string RemoveBackslash(const std::string& text) {
    if (!text.empty() && text.back() == '\\')
        return text.substr(0, text.size() - 1);
    return text;
}

std::string GetExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string GetFolderPart(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetFileNamePart(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string GetDrivePart(const std::string& path) {
    const auto colon = path.find(':');
    return colon == std::string::npos ? std::string("NO DRIVE") : path.substr(0, colon + 1);
}

std::string GetPathPart(const std::string& path) {
    if (path.size() == 3 && path[2] == '\\')
        return "\\";
    if (path.size() >= 4 && path[3] == '*')
        return "\\";
    const auto slash = path.rfind('\\');
    if (slash == std::string::npos)
        return "NO PATH";
    const auto colon = path.find(':');
    const std::size_t from = colon == std::string::npos ? 0 : colon + 1;
    return slash > from ? path.substr(from, slash - from) : std::string();
}

// ---- File, folder and drive operations ----

bool FileExists(const std::string& path) {
    // A name is a name: "?" and "*" in it are its own characters. Patterns are for listings
    // (platform::findFiles), never for asking whether one file is there.
    try {
        return !path.empty() && platform::exists(path);
    } catch (const std::exception&) {
        return false; // a path no drive maps names nothing that exists
    }
}

bool CanOpenForInput(const std::string& path) {
    try {
        if (platform::isFolder(path))
            return false;
        platform::InputFile file(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string FileSizeText(const std::string& path) {
    if (path.empty())
        return std::string();
    try {
        if (platform::isFolder(path))
            return std::string();
        return std::to_string(platform::fileLength(path));
    } catch (const std::exception&) {
        return std::string();
    }
}

// The shell's short size text: bytes below 1 KB, else the largest unit that keeps the number under
// 1000, shown with three significant digits ("1.30 KB", "12.3 MB", "123 KB"), cut rather than rounded.
std::string FormatByteSize(std::int64_t size) {
    if (size < 0)
        return std::string();
    if (size < 1024)
        return std::to_string(size) + " bytes";

    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    using Wide = unsigned __int128;
    const Wide bytes = static_cast<Wide>(size);
    int unit = 0;
    Wide scale = 1024;
    while (unit < 5 && bytes >= scale * 1000) {
        scale *= 1024;
        ++unit;
    }
    int decimals = 0;
    if (bytes < scale * 10)
        decimals = 2;
    else if (bytes < scale * 100)
        decimals = 1;
    Wide factor = 1;
    for (int i = 0; i < decimals; ++i)
        factor *= 10;
    const Wide scaled = bytes * factor / scale; // truncated
    const auto whole = static_cast<unsigned long long>(scaled / factor);
    std::string text = std::to_string(whole);
    if (decimals > 0) {
        std::string fraction = std::to_string(static_cast<unsigned long long>(scaled % factor));
        fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
        text += '.' + fraction;
    }
    return text + ' ' + kUnits[unit];
}

std::string GetWindowsFolder() {
    try {
        return platform::toWindows(platform::windowsFolderHost());
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string GetSystemFolder() {
    try {
        return platform::toWindows(platform::systemFolderHost());
    } catch (const std::exception&) {
        return std::string();
    }
}

int GetDriveKind(const std::string& drive) {
    if (drive.empty())
        return platform::DriveNoRoot;
    try {
        return platform::drives().kind(drive.substr(0, 1) + ":\\");
    } catch (const std::exception&) {
        return platform::DriveUnknown;
    }
}

bool ShellFileOperation(int operation, const std::vector<std::string>& sources, const std::string& destination,
                        bool confirm, bool silent, bool renameOnCollision) {
    if (operation < 1 || operation > 4 || sources.empty())
        return false;
    unsigned flags = 0;
    if (!confirm)
        flags |= platform::kFofNoConfirmation;
    if (silent)
        flags |= platform::kFofSilent;
    if (renameOnCollision)
        flags |= platform::kFofRenameOnCollision;
    try {
        return platform::shellFileOperation(static_cast<platform::FileOp>(operation), sources, destination, flags);
    } catch (const std::exception&) {
        return false;
    }
}

bool ShellRename(const std::string& source, const std::string& destination, bool confirm, bool renameOnCollision) {
    return ShellFileOperation(static_cast<int>(platform::FileOp::Rename), {source}, destination, confirm, false,
                              renameOnCollision);
}

bool ShellDelete(const std::vector<std::string>& sources, bool toRecycleBin, bool confirm, bool silent) {
    if (sources.empty())
        return false;
    unsigned flags = 0;
    if (toRecycleBin)
        flags |= platform::kFofAllowUndo;
    if (!confirm)
        flags |= platform::kFofNoConfirmation;
    if (silent)
        flags |= platform::kFofSilent;
    try {
        return platform::shellFileOperation(platform::FileOp::Delete, sources, std::string(), flags);
    } catch (const std::exception&) {
        return false;
    }
}

namespace {
// A drive root keeps its backslash; any other folder is looked up without one.
std::string folderForLookup(const std::string& folder) {
    if (folder.size() == 3 && folder[1] == ':' && folder[2] == '\\')
        return folder;
    return RemoveBackslash(folder);
}

bool pathExists(const std::string& path) {
    try {
        return platform::exists(path);
    } catch (const std::exception&) {
        return false;
    }
}
} // namespace

bool CreateFolderPath(const std::string& folder, bool create) {
    if (pathExists(folderForLookup(folder)))
        return true;
    if (!create)
        return false;

    const std::string drive = GetDrivePart(folder);
    if (drive == "NO DRIVE")
        return false;
    std::string rest = GetPathPart(AddBackslash(folder)) + "\\";
    std::string built;
    try {
        // Each level from the root down: the rest always begins with the backslash before the next name.
        for (auto slash = rest.find('\\', 1); slash != std::string::npos; slash = rest.find('\\', 1)) {
            built += rest.substr(0, slash);
            rest.erase(0, slash);
            if (!pathExists(drive + built))
                platform::createFolder(drive + built);
        }
    } catch (const std::exception&) {
        // The false below tells the caller the folder could not be made.
    }
    return false;
}

bool DeleteFolderTree(const std::string& folder) {
    const std::string path = RemoveBackslash(folder);
    // A drive root, the home folder, the program's data folders and any folder holding one of them
    // are never deleted, however the path reaches them ("C:\Docs\..", a link in the way).
    if (path.empty() || (path.size() == 2 && path[1] == ':'))
        return false;
    if (platform::deleteProtectionOf(path) != platform::Protection::None)
        return false;
    try {
        if (!platform::isFolder(path))
            return false;
        // Take the folder's own attributes off first: that also drops its line from the parent's
        // ".hidden" list, which would otherwise hide a later folder of the same name.
        try {
            platform::setAttributes(path, platform::kAttrNormal);
        } catch (const std::exception&) {
            // Attributes that cannot be cleared leave the removal below to succeed or say why.
        }
        const fs::path host = platform::toHost(path);
        std::error_code ec;
        // Forced: folders without write permission (read-only) get it back so their content can go.
        // Symbolic links are removed, never followed.
        fs::permissions(host, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(host, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code typeError;
            if (it->is_directory(typeError) && !it->is_symlink(typeError))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, typeError);
        }
        ec.clear();
        fs::remove_all(host, ec);
        return !ec && !pathExists(path);
    } catch (const std::exception&) {
        return false;
    }
}
