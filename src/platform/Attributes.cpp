#include "platform/Attributes.h"

#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"
#include "platform/Text.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// Adds or removes `name` in the folder's ".hidden" list (one bare name a line, LF). The list is a
// courtesy to file managers: failing to update it never fails the attribute change.
void updateHiddenList(const std::string& host, bool hidden) {
    const std::string name = nameOf(host);
    if (name.empty() || name == "/" || name.find('\n') != std::string::npos)
        return;
    const std::string list = folderOf(host) + "/.hidden";
    std::vector<std::string> lines;
    try {
        for (auto& line : splitLines(readAllHost(list)))
            if (!line.empty())
                lines.push_back(std::move(line));
    } catch (const SysError&) {
        // no list yet
    }
    bool present = false;
    std::vector<std::string> kept;
    for (const auto& l : lines) {
        if (l == name)
            present = true;
        else
            kept.push_back(l);
    }
    if (hidden == present)
        return;
    if (hidden)
        kept.push_back(name);
    try {
        if (kept.empty()) {
            ::unlink(list.c_str());
            return;
        }
        std::string out;
        for (const auto& l : kept)
            out += l + "\n";
        writeFileAtomicHost(list, out);
    } catch (const SysError&) {
    }
}

} // namespace

unsigned getAttributesHost(const std::string& hostPath) {
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

void setAttributesHost(const std::string& hostPath, unsigned attributes) {
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0)
        throw sysErrorFromErrno(errno, hostPath);
    // A link has no attributes of its own here: changing them would change its target's mode.
    if (S_ISLNK(st.st_mode))
        throw SysError(75, errorDescription(75), "it is a symbolic link");
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
    if (stored)
        updateHiddenList(hostPath, (value & kAttrHidden) != 0);
}

void dropHiddenEntryHost(const std::string& hostPath) {
    struct stat st {};
    if (::stat((folderOf(hostPath) + "/.hidden").c_str(), &st) == 0)
        updateHiddenList(hostPath, false);
}

unsigned getAttributes(const std::string& windowsPath) {
    return getAttributesHost(toHost(windowsPath));
}

void setAttributes(const std::string& windowsPath, unsigned attributes) {
    setAttributesHost(toHost(windowsPath), attributes);
}

} // namespace platform
