#include "core/LockChecks.h"

#include "core/LockEngine.h"
#include "platform/Environment.h"
#include "platform/ProtectedPaths.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <cerrno>
#include <exception>
#include <sys/stat.h>

namespace core {

namespace {

// Whether something (a file, a folder or a link) lies at the path, without following a link.
bool present(const std::string& path) {
    try {
        struct stat st {};
        return ::lstat(platform::toHost(path).c_str(), &st) == 0;
    } catch (const platform::SysError&) {
        return false;
    }
}

// The path as the user knows it: the locked folder's part given back its name before the lock.
std::string shownInside(const std::string& path, const RegisterItem& folder) {
    if (LiesUnder(path, folder.key))
        return folder.text + path.substr(RemoveBackslash(folder.key).size());
    return path;
}

} // namespace

std::string Quoted(const std::string& text) {
    std::string out(1, '\'');
    out += text;
    out += '\'';
    return out;
}

std::string HiddenListLeftAloneNote(const std::string& folder) {
    return "The list of hidden files " + Quoted(AddBackslash(folder) + ".hidden") +
           " is a link or not a regular file, so Tessaly left it alone: what was locked in that folder is "
           "locked, but the desktop's file managers still show it.";
}

std::string StrongLockedName(const std::vector<RegisterItem>& strongEntries, const std::string& path) {
    for (const RegisterItem& item : strongEntries) {
        // The drive letter in either case, the rest exactly.
        if (item.key.size() == path.size() && !path.empty() &&
            platform::upperText(item.key.substr(0, 1)) == platform::upperText(path.substr(0, 1)) &&
            item.key.compare(1, std::string::npos, path, 1) == 0)
            return GetFileNamePart(item.text);
    }
    return {};
}

std::string StrongShownText(const std::string& nameItHad) {
    return nameItHad + " (strong lock)";
}

std::string ShownName(const std::string& path) {
    const bool strong = platform::upperText(GetExtension(path)) == "TSX";
    return ShownName(path, strong ? QuietRegisterEntries(RegisterPath(), RegisterKind::StrongFile)
                                  : std::vector<RegisterItem>());
}

std::string ShownName(const std::string& path, const std::vector<RegisterItem>& strongEntries) {
    const std::string name = GetFileNamePart(path);
    const std::string extension = platform::upperText(GetExtension(name));
    if (extension == "TSX") {
        const std::string had = StrongLockedName(strongEntries, path);
        return had.empty() ? name : StrongShownText(had);
    }
    if ((extension == "TSL" || extension == "TSW") && name.size() > 4) {
        try {
            if (StartsWithLockedHeader(path))
                return TransformName(name.substr(0, name.size() - 4));
        } catch (const platform::SysError&) {
            // An unreadable file is shown under its own name.
        }
    }
    return name;
}

std::string ShownPath(const std::string& path, const std::vector<RegisterItem>& lockedFolders) {
    // The longest part of the path, ending at a backslash or at its end, that names a locked folder.
    const RegisterItem* best = nullptr;
    std::size_t bestLength = 0;
    for (const RegisterItem& item : lockedFolders) {
        const std::string key = RemoveBackslash(item.key);
        const std::size_t n = key.size();
        if (n == 0 || n <= bestLength || n > path.size() || (n < path.size() && path[n] != '\\'))
            continue;
        // The drive letter in either case, the rest exactly (names on Linux drives differ by case).
        if (platform::upperText(path.substr(0, 1)) == platform::upperText(key.substr(0, 1)) &&
            path.compare(1, n - 1, key, 1) == 0) {
            best = &item;
            bestLength = n;
        }
    }
    if (!best)
        return path;
    return RemoveBackslash(best->text) + " (locked)" + path.substr(bestLength);
}

std::string ShownPath(const std::string& registerPath, const std::string& path) {
    if (registerPath.empty())
        return path;
    return ShownPath(path, QuietRegisterEntries(registerPath, RegisterKind::Folder));
}

std::string RefuseFileKind(const std::string& path) {
    std::string host;
    try {
        host = platform::toHost(path);
    } catch (const platform::SysError&) {
        return {};
    }
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode))
        return Quoted(GetFileNamePart(path)) +
               " is a symbolic link. Tessaly locks and unlocks only the file itself: choose the file the link "
               "points to.";
    if (!S_ISREG(st.st_mode))
        return Quoted(GetFileNamePart(path)) + " is not a regular file and cannot be locked or unlocked.";
    return {};
}

std::string RefuseFolderKind(const std::string& folder) {
    try {
        struct stat st {};
        if (::lstat(platform::toHost(RemoveBackslash(folder)).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return Quoted(RemoveBackslash(folder)) +
                   " is a symbolic link. Tessaly locks only the folder itself: choose the folder the link points to.";
    } catch (const platform::SysError&) {
        // A path that cannot be looked at is refused by the lock's own checks.
    }
    return {};
}

bool LiesUnder(const std::string& path, const std::string& folder) {
    const std::string base = RemoveBackslash(folder);
    if (base.empty() || path.size() <= base.size() + 1 || path[base.size()] != '\\')
        return false;
    return platform::upperText(path.substr(0, 1)) == platform::upperText(base.substr(0, 1)) &&
           path.compare(1, base.size() - 1, base, 1) == 0;
}

std::optional<RegisterItem> LockedFolderAround(const std::string& registerPath, const std::string& path) {
    return LockedFolderAround(RegisterSnapshot(registerPath), path);
}

std::optional<RegisterItem> LockedFolderAround(const RegisterSnapshot& snapshot, const std::string& path) {
    for (const RegisterItem& folder : snapshot.entries(RegisterKind::Folder)) {
        if ((LiesUnder(path, folder.key) || LiesUnder(path, folder.text)) && present(folder.key))
            return folder;
    }
    return std::nullopt;
}

std::string InsideLockedFolderMessage(const std::string& shown, const std::string& folder) {
    return Quoted(shown) + " lies inside the locked folder " + Quoted(folder) + ". Unlock that folder first.";
}

std::string RefuseInsideLockedFolder(const std::string& registerPath, const std::string& path,
                                     const std::string& shown) {
    return RefuseInsideLockedFolder(RegisterSnapshot(registerPath), path, shown);
}

std::string RefuseInsideLockedFolder(const RegisterSnapshot& snapshot, const std::string& path,
                                     const std::string& shown) {
    const auto folder = LockedFolderAround(snapshot, path);
    if (!folder)
        return {};
    return InsideLockedFolderMessage(shown.empty() ? shownInside(path, *folder) : shown, folder->text);
}

std::string RefuseHoldingLockedItems(const std::string& registerPath, const std::string& folder) {
    return RefuseHoldingLockedItems(RegisterSnapshot(registerPath), folder);
}

std::string RefuseHoldingLockedItems(const RegisterSnapshot& snapshot, const std::string& folder) {
    for (RegisterKind kind : kRegisterKinds) {
        for (const RegisterItem& item : snapshot.entries(kind)) {
            if (LiesUnder(item.key, folder) && present(item.key))
                return Quoted(folder) + " holds locked items. Unlock them first.";
        }
    }
    return {};
}

std::string RefuseCaseTwin(const std::string& registerPath, const std::string& folder) {
    return RefuseCaseTwin(RegisterSnapshot(registerPath), folder);
}

std::string RefuseCaseTwin(const RegisterSnapshot& snapshot, const std::string& folder) {
    const std::string wanted = platform::lowerText(RemoveBackslash(folder));
    for (const RegisterItem& item : snapshot.entries(RegisterKind::Folder)) {
        const std::string other = RemoveBackslash(item.text);
        if (other != RemoveBackslash(folder) && platform::lowerText(other) == wanted && present(item.key))
            return "A locked folder with the same name in another letter case exists.";
    }
    return {};
}

std::string RefuseProtected(const std::string& path) {
    const std::string plain = RemoveBackslash(path);
    std::string host;
    try {
        host = platform::pointedEntryHost(platform::toHost(plain));
    } catch (const std::exception&) {
        return {};
    }
    if (platform::lockProtection(host) == platform::Protection::None)
        return {};
    return Quoted(plain) + " can't be locked: it holds your system or Tessaly's own files.";
}

std::string RefuseFileLock(const std::string& registerPath, const std::string& path) {
    return RefuseFileLock(RegisterSnapshot(registerPath), path);
}

std::string RefuseFileLock(const RegisterSnapshot& snapshot, const std::string& path) {
    std::string refusal = RefuseFileKind(path);
    if (refusal.empty())
        refusal = RefuseProtected(path);
    if (refusal.empty())
        refusal = RefuseInsideLockedFolder(snapshot, path);
    return refusal;
}

std::string RefuseFileLock(const EngineContext& ctx, const std::string& path) {
    // A file the batch pinned and opened is a regular file: its kind needs no second look.
    if (ctx.pinned && ctx.registerSnapshot) {
        const std::string refusal = RefuseProtected(path);
        return refusal.empty() ? RefuseInsideLockedFolder(*ctx.registerSnapshot, path) : refusal;
    }
    if (ctx.registerSnapshot)
        return RefuseFileLock(*ctx.registerSnapshot, path);
    return RefuseFileLock(ctx.registerPath, path);
}

} // namespace core
