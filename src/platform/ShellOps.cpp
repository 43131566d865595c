#include "platform/ShellOps.h"

#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/Prompt.h"
#include "platform/ProtectedPaths.h"
#include "platform/SysError.h"

#include <QFile>
#include <QString>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

namespace {

using hostpath::folderOf;
using hostpath::join;
using hostpath::nameOf;

bool present(const std::string& host) {
    struct stat st {};
    return ::lstat(host.c_str(), &st) == 0;
}

bool isDir(const std::string& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when `inner` is `outer` or lies inside it.
bool within(const std::string& inner, const std::string& outer) {
    if (inner == outer)
        return true;
    if (outer == "/")
        return true;
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
}

// A free name for `name` in `folder`: "Copy of a.txt", "Copy (2) of a.txt", ...
std::string freeName(const std::string& folder, const std::string& name) {
    for (int i = 1; i < 10000; ++i) {
        const std::string candidate = i == 1 ? "Copy of " + name : "Copy (" + std::to_string(i) + ") of " + name;
        if (!present(join(folder, candidate)))
            return candidate;
    }
    return std::string();
}

// The copy carries the original's attributes (hidden, system, archive, read-only) as a copy does on
// Windows; where the target refuses them it is still a good copy.
void copyAttributes(const std::string& from, const std::string& to) {
    try {
        const unsigned a = getAttributesHost(HostPath(from)) & ~kAttrDirectory;
        if (a != kAttrNormal)
            setAttributesHost(HostPath(to), a);
    } catch (const SysError&) {
        // The copy itself is done; attributes are a courtesy the source may not have.
    }
}

// Copies one file: written under a temporary name, synced, then put in place without replacing.
bool copyFile(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0)
        return false;
    try {
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return false;
        AtomicWriter w{HostPath(to)};
        thread_local std::vector<char> buffer(1 << 20);
        bool ok = true;
        for (;;) {
            const ssize_t r = ::read(in, buffer.data(), buffer.size());
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                ok = false;
                break;
            }
            if (r == 0)
                break;
            w.write(buffer.data(), static_cast<std::size_t>(r));
        }
        ::close(in);
        if (!ok)
            return false;
        w.commit(false);
        ::chmod(to.c_str(), st.st_mode & 07777);
        copyAttributes(from, to);
        return true;
    } catch (const SysError&) {
        return false;
    }
}

bool removeTree(const std::string& host);

// The names in a folder, without "." and ".."; nothing when it cannot be read.
std::optional<std::vector<std::string>> entryNames(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    ::closedir(dir);
    return names;
}

bool copyTree(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0)
            return false;
        target.resize(static_cast<std::size_t>(n));
        return ::symlink(target.c_str(), to.c_str()) == 0;
    }
    if (!S_ISDIR(st.st_mode))
        return copyFile(from, to);
    if (::mkdir(to.c_str(), 0700) != 0)
        return false;
    const auto names = entryNames(from);
    if (!names)
        return false;
    for (const auto& name : *names) {
        if (!copyTree(join(from, name), join(to, name))) {
            removeTree(to); // only what this copy created
            return false;
        }
    }
    ::chmod(to.c_str(), st.st_mode & 07777);
    copyAttributes(from, to);
    return true;
}

bool removeTree(const std::string& host) {
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(host.c_str()) == 0;
    // A folder without write permission cannot lose its entries: give it back first.
    if (!(st.st_mode & S_IWUSR) || !(st.st_mode & S_IXUSR))
        ::chmod(host.c_str(), (st.st_mode & 07777) | S_IRWXU);
    const auto names = entryNames(host);
    if (!names)
        return false;
    bool ok = true;
    for (const auto& name : *names)
        ok = removeTree(join(host, name)) && ok;
    return ok && ::rmdir(host.c_str()) == 0;
}

// Renames without ever replacing an existing entry.
bool renameNoReplace(const std::string& from, const std::string& to, int& err) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP)
        return false;
    if (present(to)) {
        err = EEXIST;
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    err = errno;
    return false;
}

// A hidden entry that moves leaves its old folder's ".hidden" list and joins the new one.
void moveHiddenEntry(const std::string& from, const std::string& to) {
    try {
        const unsigned a = getAttributesHost(HostPath(to));
        dropHiddenEntryHost(HostPath(from));
        if (a & kAttrHidden)
            setAttributesHost(HostPath(to), a & ~kAttrDirectory);
    } catch (const SysError&) {
        // The move itself is done; the hidden mark follows as a courtesy only.
    }
}

bool moveOne(const std::string& from, const std::string& to) {
    int err = 0;
    if (renameNoReplace(from, to, err)) {
        moveHiddenEntry(from, to);
        return true;
    }
    if (err != EXDEV)
        return false;
    // Another filesystem: copy everything, then remove the original.
    if (!copyTree(from, to))
        return false;
    if (!removeTree(from))
        return false;
    dropHiddenEntryHost(HostPath(from));
    return true;
}

bool trashHost(const std::string& host) {
    return QFile::moveToTrash(QString::fromLocal8Bit(host));
}

std::string confirmText(const std::vector<std::string>& hosts) {
    if (hosts.size() == 1)
        return "Are you sure you want to delete '" + nameOf(hosts.front()) + "'?";
    return "Are you sure you want to delete these " + std::to_string(hosts.size()) + " items?";
}

std::string stripSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

} // namespace

bool shellFileOperation(FileOp op, const std::vector<std::string>& sources, const std::string& destination,
                        unsigned flags, Prompt* prompt) {
    if (sources.empty())
        return false;
    std::vector<std::string> hosts;
    try {
        for (const auto& s : sources)
            hosts.push_back(stripSlash(toHost(s)));
    } catch (const SysError&) {
        return false;
    }
    for (const auto& h : hosts)
        if (!present(h) || h == "/")
            return false;

    if (op == FileOp::Delete) {
        // Drive roots, the home folder and the program's data folders (or a folder holding one) never go.
        for (const auto& h : hosts)
            if (deleteProtection(pointedEntryHost(h)) != Protection::None)
                return false;
        if (prompt && !(flags & kFofNoConfirmation)) {
            if (prompt->show(confirmText(hosts), Buttons::YesNo, Icon::Question, "Confirm File Delete") != Answer::Yes)
                return false;
        }
        for (const auto& h : hosts) {
            const bool ok = (flags & kFofAllowUndo) ? trashHost(h) : removeTree(h);
            if (!ok)
                return false;
            dropHiddenEntryHost(HostPath(h));
        }
        return true;
    }

    if (op != FileOp::Move && op != FileOp::Copy && op != FileOp::Rename)
        return false;
    std::string dest;
    try {
        if (op == FileOp::Rename && destination.find('\\') == std::string::npos &&
            destination.find(':') == std::string::npos)
            dest = join(folderOf(hosts.front()), destination); // a bare new name
        else
            dest = stripSlash(toHost(destination));
    } catch (const SysError&) {
        return false;
    }
    if (op == FileOp::Rename && hosts.size() != 1)
        return false;

    // Into an existing folder, or (one source) to the name given; several sources into a new folder.
    bool intoFolder = op != FileOp::Rename && isDir(dest);
    if (op != FileOp::Rename && !intoFolder && hosts.size() > 1) {
        std::error_code ec;
        if (!std::filesystem::create_directories(dest, ec) || ec)
            return false;
        intoFolder = true;
    }

    // A missing destination folder is made, as the shell does.
    if (op != FileOp::Rename) {
        std::error_code ec;
        std::filesystem::create_directories(intoFolder ? dest : folderOf(dest), ec);
    }

    for (const auto& from : hosts) {
        std::string folder = intoFolder ? dest : folderOf(dest);
        std::string name = intoFolder ? nameOf(from) : nameOf(dest);
        std::string to = join(folder, name);
        if (present(to)) {
            if (!(flags & kFofRenameOnCollision))
                return false; // never overwrite
            name = freeName(folder, name);
            if (name.empty())
                return false;
            to = join(folder, name);
        }
        // A folder cannot go into itself.
        if (isDir(from) && within(to, from))
            return false;
        bool ok = false;
        if (op == FileOp::Copy) {
            ok = copyTree(from, to);
        } else {
            ok = moveOne(from, to);
        }
        if (!ok)
            return false;
    }
    return true;
}

bool moveToTrash(const std::string& windowsPath) {
    try {
        const std::string host = stripSlash(toHost(windowsPath));
        if (!present(host) || deleteProtection(pointedEntryHost(host)) != Protection::None || !trashHost(host))
            return false;
        dropHiddenEntryHost(HostPath(host));
        return true;
    } catch (const SysError&) {
        return false;
    }
}

} // namespace platform
