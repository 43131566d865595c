#include "platform/Find.h"

#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"
#include "platform/Text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string_view>

namespace platform {

namespace {

// Plain "*" and "?" matching, case-insensitive (iterative, with backtracking to the last "*").
bool globMatch(const std::string& p, const std::string& n) {
    std::size_t pi = 0, ni = 0, starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || (p[pi] != '*' && lowerChar(p[pi]) == lowerChar(n[ni])))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

bool hasWildcard(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

bool makeEntry(const std::string& folder, const std::string& name, FindEntry& e) {
    const std::string host = hostpath::join(folder, name);
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0 && ::lstat(host.c_str(), &st) != 0)
        return false;
    e.name = name;
    try {
        e.attributes = getAttributesHost(HostPath(host));
    } catch (const SysError&) {
        e.attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : 0; // a dangling link
    }
    e.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    return true;
}

// A name holding "\" is never listed: its Windows-form path would name another file. The program's
// own temporary files are never shown either: they are half of a run, or left by one that ended, and
// the recovery sweep deals with them.
bool listed(const char* name) {
    const std::string_view n(name);
    return n != "." && n != ".." && n != ".hidden" && n.find('\\') == std::string_view::npos && !isTemporaryName(name);
}

} // namespace

bool FindEntry::isFolder() const {
    return (attributes & kAttrDirectory) != 0;
}

bool wildcardMatch(const std::string& pattern, const std::string& name) {
    if (pattern == "*" || pattern == "*.*")
        return true;
    if (!hasWildcard(pattern))
        return equalNoCase(pattern, name);
    // A trailing "." asks for names without an extension ("*." = names without a dot).
    if (pattern.size() > 1 && pattern.back() == '.') {
        if (name.find('.') != std::string::npos)
            return false;
        return globMatch(pattern.substr(0, pattern.size() - 1), name);
    }
    if (globMatch(pattern, name))
        return true;
    // "name.*" also finds "name" itself, as "*.*" finds names without a dot.
    if (pattern.size() > 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return globMatch(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

std::vector<FindEntry> findFiles(const std::string& windowsPattern) {
    std::vector<FindEntry> out;
    const auto slash = windowsPattern.rfind('\\');
    std::string folderPart, namePart;
    if (slash != std::string::npos) {
        folderPart = windowsPattern.substr(0, slash + 1);
        namePart = windowsPattern.substr(slash + 1);
    } else if (windowsPattern.size() >= 2 && windowsPattern[1] == ':') {
        folderPart = windowsPattern.substr(0, 2);
        namePart = windowsPattern.substr(2);
    } else {
        return out;
    }
    if (namePart.empty())
        return out;
    std::string folder;
    try {
        folder = toHost(folderPart);
    } catch (const SysError&) {
        return out;
    }

    if (!hasWildcard(namePart)) {
        // One entry: the exact name when it exists, else the first that differs only in case.
        if (!listed(namePart.c_str()))
            return out;
        FindEntry e;
        if (makeEntry(folder, namePart, e)) {
            out.push_back(e);
            return out;
        }
    }

    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return out;
    while (const dirent* d = ::readdir(dir)) {
        if (!listed(d->d_name) || !wildcardMatch(namePart, d->d_name))
            continue;
        FindEntry e;
        if (makeEntry(folder, d->d_name, e)) {
            out.push_back(std::move(e));
            if (!hasWildcard(namePart))
                break;
        }
    }
    ::closedir(dir);
    return out;
}

std::vector<FolderEntry> listFolder(const std::string& windowsFolder) {
    std::vector<FolderEntry> out;
    std::string folder;
    try {
        folder = toHost(windowsFolder);
    } catch (const SysError&) {
        return out;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return out;
    const int fd = ::dirfd(dir);
    while (const dirent* d = ::readdir(dir)) {
        if (!listed(d->d_name))
            continue;
        struct stat st {};
        FolderEntry e;
        e.name = d->d_name;
        if (::fstatat(fd, d->d_name, &st, 0) == 0) {
            e.known = true;
            e.folder = S_ISDIR(st.st_mode);
            e.size = e.folder ? 0 : static_cast<std::uint64_t>(st.st_size);
            e.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        } else if (::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // gone meanwhile: findFiles would not list it either
        }
        out.push_back(std::move(e));
    }
    ::closedir(dir);
    return out;
}

} // namespace platform
