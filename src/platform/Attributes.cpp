#include "platform/Attributes.h"

#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

constexpr const char* kXattrName = "user.DOSATTRIB";
constexpr unsigned kStoredMask = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

bool xattrUnsupported(int err) {
    return err == ENOTSUP || err == EOPNOTSUPP;
}

// The value stored in user.DOSATTRIB, or nothing when absent, unreadable or not our text form.
bool readStored(const std::string& host, unsigned& value) {
    char buf[64];
    const ssize_t n = ::getxattr(host.c_str(), kXattrName, buf, sizeof buf - 1);
    if (n <= 0)
        return false;
    std::string text(buf, static_cast<std::size_t>(n));
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str() + 2, &end, 16);
    if (end == text.c_str() + 2 || *end != '\0')
        return false;
    value = static_cast<unsigned>(v);
    return true;
}

using hostpath::folderOf;

// The entry's own name; trailing "/" are passed over, so "/a/b/" names "b".
std::string nameOf(std::string host) {
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return hostpath::nameOf(host);
}

// A name the ".hidden" list can hold (one bare name a line).
bool listable(const std::string& name) {
    return !name.empty() && name != "/" && name.find('\n') == std::string::npos;
}

} // namespace

HiddenListChange updateHiddenEntriesHost(const std::string& hostFolder, const std::vector<std::string>& add,
                                         const std::vector<std::string>& remove) {
    const std::string list = hostpath::join(hostFolder, ".hidden");
    // Read, change and write under the folder's lock, so two writers never drop each other's names.
    FolderLock lock(hostFolder);
    // Through the folder, never following a link: a ".hidden" that points elsewhere (another user of
    // a shared folder may have put it there) would have its target read into the list and the list
    // given the target's mode.
    const UniqueFd folder(openFolderHost(hostFolder));
    const BesideFile current = readBeside(folder.get(), ".hidden", hostFolder);
    if (current.kind == BesideFile::Kind::Other)
        return HiddenListChange::LeftAlone;
    const bool existed = current.kind == BesideFile::Kind::Regular;
    std::vector<std::string> lines;
    for (auto& line : splitLines(current.content))
        if (!line.empty())
            lines.push_back(std::move(line));
    std::vector<std::string> kept;
    bool changed = false;
    for (auto& l : lines) {
        if (std::find(remove.begin(), remove.end(), l) != remove.end())
            changed = true;
        else
            kept.push_back(std::move(l));
    }
    for (const auto& name : add) {
        if (listable(name) && std::find(kept.begin(), kept.end(), name) == kept.end()) {
            kept.push_back(name);
            changed = true;
        }
    }
    if (!changed)
        return HiddenListChange::Done;
    if (kept.empty()) {
        if (::unlinkat(folder.get(), ".hidden", 0) != 0 && errno != ENOENT)
            throw sysErrorFromErrno(errno, list);
        return HiddenListChange::Done;
    }
    std::string out;
    for (const auto& l : kept)
        out += l + "\n";
    AtomicWriter writer{folder.get(), HostPath(list)};
    // The desktop's file managers read it; an existing list keeps the bits of the file that was read.
    writer.setPermissions(existed ? current.mode : 0644);
    writer.write(out);
    writer.commit(true);
    return HiddenListChange::Done;
}

bool hiddenListLeftAlone(const std::string& hostFolder) {
    try {
        const UniqueFd folder(openFolderHost(hostFolder));
        return readBeside(folder.get(), ".hidden", hostFolder).kind == BesideFile::Kind::Other;
    } catch (const SysError&) {
        return false; // a list that cannot be looked at is told of by whatever tries to write it
    }
}

namespace {

// Adds or removes the entry's name in its folder's ".hidden" list.
void updateHiddenList(const std::string& host, bool hidden) {
    const std::string name = nameOf(host);
    if (!listable(name))
        return;
    if (hidden)
        updateHiddenEntriesHost(folderOf(host), {name}, {});
    else
        updateHiddenEntriesHost(folderOf(host), {}, {name});
}

} // namespace

unsigned getAttributesHost(const HostPath& path) {
    const std::string& hostPath = path.str();
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0)
        throw sysErrorFromErrno(errno, hostPath);
    unsigned value = 0;
    unsigned stored = 0;
    if (readStored(hostPath, stored))
        value = stored & kStoredMask;
    if (S_ISDIR(st.st_mode)) {
        value |= kAttrDirectory;
        // A folder keeps read-only as a mark only; one we may not write to reads as read-only too.
        if (!(st.st_mode & S_IWUSR))
            value |= kAttrReadOnly;
    } else {
        // For files the write permission is the read-only attribute.
        value &= ~kAttrReadOnly;
        if (!(st.st_mode & S_IWUSR))
            value |= kAttrReadOnly;
    }
    return value;
}

bool setAttributesHost(const HostPath& path, unsigned attributes, HiddenList list) {
    const std::string& hostPath = path.str();
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0)
        throw sysErrorFromErrno(errno, hostPath);
    // A link has no attributes of its own here: changing them would change its target's mode.
    if (S_ISLNK(st.st_mode))
        throw SysError(ErrorKind::PathFileAccess, errorDescription(ErrorKind::PathFileAccess), "it is a symbolic link");
    const bool folder = S_ISDIR(st.st_mode);
    const unsigned value = attributes & kStoredMask;
    const bool readOnly = (value & kAttrReadOnly) != 0;
    const mode_t mode = st.st_mode & 07777;
    const mode_t writable = mode | S_IWUSR;
    mode_t finalMode = mode;
    if (!folder)
        finalMode = readOnly ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH))
                             : ((mode & S_IWUSR) ? mode : writable);

    // User xattrs need write permission on the file: lend it for the moment when missing.
    if (!(mode & S_IWUSR) && ::chmod(hostPath.c_str(), writable) != 0)
        throw sysErrorFromErrno(errno, hostPath);

    bool stored = true;
    int rc = 0;
    if (value == 0) {
        rc = ::removexattr(hostPath.c_str(), kXattrName);
        if (rc != 0 && errno == ENODATA)
            rc = 0;
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", value);
        rc = ::setxattr(hostPath.c_str(), kXattrName, text, std::char_traits<char>::length(text), 0);
    }
    const int err = rc != 0 ? errno : 0;
    if (rc != 0 && xattrUnsupported(err))
        stored = false; // only read-only (the permission) is kept here
    if (::chmod(hostPath.c_str(), finalMode) != 0)
        throw sysErrorFromErrno(errno, hostPath);
    if (rc != 0 && stored)
        throw sysErrorFromErrno(err, hostPath);
    if (stored && list == HiddenList::Update)
        updateHiddenList(hostPath, (value & kAttrHidden) != 0);
    return stored;
}

void dropHiddenEntryHost(const HostPath& path) {
    const std::string& hostPath = path.str();
    struct stat st {};
    // A courtesy after a delete or move has already happened: it cannot undo it, so it never fails it.
    if (::stat((folderOf(hostPath) + "/.hidden").c_str(), &st) == 0) {
        try {
            updateHiddenList(hostPath, false);
        } catch (const SysError&) {
            // See above: the delete or move has happened and must not be reported as failed.
        }
    }
}

unsigned getAttributes(const std::string& windowsPath) {
    return getAttributesHost(toHost(WinPath(windowsPath)));
}

void setAttributes(const std::string& windowsPath, unsigned attributes) {
    setAttributesHost(toHost(WinPath(windowsPath)), attributes, HiddenList::Update);
}

} // namespace platform
