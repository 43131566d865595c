#include "platform/FileIO.h"

#include "platform/Environment.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

using hostpath::folderOf;
using hostpath::nameOf;

void writeAllFd(int fd, const char* data, std::size_t n, const std::string& host) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            throw sysErrorFromErrno(errno, host);
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

std::size_t readSomeFd(int fd, char* buffer, std::size_t n, const std::string& host) {
    for (;;) {
        const ssize_t r = ::read(fd, buffer, n);
        if (r >= 0)
            return static_cast<std::size_t>(r);
        if (errno != EINTR)
            throw sysErrorFromErrno(errno, host);
    }
}

void fsyncFolderHost(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw sysErrorFromErrno(errno, folder);
    // Some filesystems refuse fsync on a folder (EINVAL); there is nothing more to do there.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int err = errno;
        ::close(fd);
        throw sysErrorFromErrno(err, folder);
    }
    ::close(fd);
}

// Opens a file for reading without waiting: a named pipe or a device would block open() or read()
// for as long as nothing writes to it. Only regular files are read; a folder is error 75, anything
// else error 75 that says it is not a regular file. `size` receives the file's length.
int openRegularForReading(const std::string& host, std::uint64_t& size) {
    const int fd = ::open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw sysErrorFromErrno(errno, host);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw sysErrorFromErrno(err, host);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            throw SysError(75, errorDescription(75), std::strerror(EISDIR));
        throw SysError(75, errorDescription(75), "not a regular file");
    }
    // Back to ordinary reads for the file itself.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

// The extended attribute in which a temporary file names its target, for names too long to be
// kept whole in the temporary name.
constexpr const char* kTargetXattr = "user.tessaly.target";
// The extended attribute a run sets on a temporary file once its content is on disk and whole:
// only a file so marked is ever put in place by the recovery sweep.
constexpr const char* kCompleteXattr = "user.tessaly.complete";
// Temporary names whose target name was cut end in this; only the attribute names their target.
constexpr const char* kCutSuffix = ".cut.tessaly-tmp";
// Longest target name kept whole in a temporary name (".", name, ".", 16 hex digits, suffix).
constexpr std::size_t kWholeNameMax = 200;
// How far the disk may lag behind a long copy before the copy waits for it.
constexpr std::uint64_t kWritebackLag = 32u << 20;

bool endsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::char_traits<char>::length(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// The folder locks this thread holds: fd and depth, by device and inode of the folder.
struct HeldLock {
    int fd = -1;
    int depth = 0;
};
std::map<std::string, HeldLock>& heldLocks() {
    thread_local std::map<std::string, HeldLock> held;
    return held;
}

// The reused buffer of the read/write copy path (one per thread, never growing with the file).
std::vector<char>& copyBuffer() {
    thread_local std::vector<char> buffer(kBufferSize);
    return buffer;
}

} // namespace

bool exists(const std::string& windowsPath) {
    struct stat st {};
    return ::lstat(toHost(windowsPath).c_str(), &st) == 0;
}

bool isFolder(const std::string& windowsPath) {
    struct stat st {};
    return ::stat(toHost(windowsPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint64_t fileLength(const std::string& windowsPath) {
    const std::string host = toHost(windowsPath);
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0)
        throw sysErrorFromErrno(errno, host);
    return S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
}

std::string readAllHost(const std::string& host) {
    std::uint64_t size = 0;
    const int fd = openRegularForReading(host, size);
    std::string out;
    try {
        out.reserve(static_cast<std::size_t>(size));
        char buf[65536];
        for (;;) {
            const std::size_t r = readSomeFd(fd, buf, sizeof buf, host);
            if (r == 0)
                break;
            out.append(buf, r);
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return out;
}

std::string readAll(const std::string& windowsPath) {
    return readAllHost(toHost(windowsPath));
}

void removeFile(const std::string& windowsPath) {
    const std::string host = toHost(windowsPath);
    // unlink needs no write permission on the file itself, only on its folder.
    if (::unlink(host.c_str()) != 0) {
        const int err = errno;
        if (err == EISDIR)
            throw SysError(75, errorDescription(75));
        throw sysErrorFromErrno(err, host);
    }
}

void createFolder(const std::string& windowsPath) {
    const std::string host = toHost(windowsPath);
    if (::mkdir(host.c_str(), 0777) != 0) {
        const int err = errno;
        if (err == EEXIST)
            throw SysError(75, errorDescription(75));
        throw sysErrorFromErrno(err, host);
    }
}

void syncFolder(const std::string& windowsFolder) {
    fsyncFolderHost(toHost(windowsFolder));
}

void syncFilesystemHost(const std::string& hostPath) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw sysErrorFromErrno(errno, hostPath);
    const int rc = ::syncfs(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0)
        throw sysErrorFromErrno(err, hostPath);
}

// --- FolderLock ---

FolderLock::FolderLock(const std::string& hostFolder) {
    struct stat st {};
    if (::stat(hostFolder.c_str(), &st) != 0)
        throw sysErrorFromErrno(errno, hostFolder);
    m_key = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    auto& held = heldLocks();
    if (auto it = held.find(m_key); it != held.end()) {
        ++it->second.depth;
        return;
    }
    const int fd = ::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw sysErrorFromErrno(errno, hostFolder);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        const int err = errno;
        ::close(fd);
        throw sysErrorFromErrno(err, hostFolder);
    }
    held[m_key] = HeldLock{fd, 1};
}

FolderLock::~FolderLock() {
    auto& held = heldLocks();
    auto it = held.find(m_key);
    if (it == held.end() || --it->second.depth > 0)
        return;
    ::close(it->second.fd); // closing the last descriptor releases the flock
    held.erase(it);
}

// --- Temporary files ---

bool isTemporaryName(const std::string& name) {
    return endsWith(name, kTemporarySuffix);
}

std::string temporaryTargetName(const std::string& hostTemporary) {
    char buf[512];
    const ssize_t n = ::getxattr(hostTemporary.c_str(), kTargetXattr, buf, sizeof buf);
    if (n > 0)
        return std::string(buf, static_cast<std::size_t>(n));
    const std::string name = hostpath::nameOf(hostTemporary);
    // ".<name>.<16 hex digits>.tessaly-tmp"
    const std::size_t suffix = std::char_traits<char>::length(kTemporarySuffix);
    if (!isTemporaryName(name) || endsWith(name, kCutSuffix) || name.size() < 1 + 1 + 17 + suffix || name[0] != '.')
        return {};
    const std::size_t dot = name.size() - suffix - 17;
    if (name[dot] != '.')
        return {};
    return name.substr(1, dot - 1);
}

TemporaryState temporaryState(const std::string& hostTemporary) {
    char mark[8];
    const ssize_t n = ::lgetxattr(hostTemporary.c_str(), kCompleteXattr, mark, sizeof mark);
    if (n == 1 && mark[0] == '1')
        return TemporaryState::Complete;
    if (n < 0 && (errno == ENOTSUP || errno == EOPNOTSUPP))
        return TemporaryState::Unmarkable;
    return TemporaryState::Unfinished;
}

bool temporaryInUse(const std::string& hostTemporary) {
    const int fd = ::open(hostTemporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno != ENOENT;
    const bool inUse = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return inUse;
}

// --- InputFile ---

InputFile::InputFile(const std::string& windowsPath) : m_host(toHost(windowsPath)) {
    m_fd = openRegularForReading(m_host, m_size);
}

InputFile::~InputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t InputFile::read(char* buffer, std::size_t n) {
    return readSomeFd(m_fd, buffer, n, m_host);
}

void InputFile::readExact(char* buffer, std::size_t n) {
    while (n > 0) {
        const std::size_t r = read(buffer, n);
        if (r == 0)
            throw SysError(62, errorDescription(62));
        buffer += r;
        n -= r;
    }
}

std::string InputFile::readUpTo(std::size_t n) {
    std::string out(n, '\0');
    std::size_t got = 0;
    while (got < n) {
        const std::size_t r = read(out.data() + got, n - got);
        if (r == 0)
            break;
        got += r;
    }
    out.resize(got);
    return out;
}

// --- AtomicWriter ---

AtomicWriter::AtomicWriter(const std::string& windowsTarget) {
    open(toHost(windowsTarget));
}

AtomicWriter::AtomicWriter(HostPath, const std::string& hostTarget) {
    open(hostTarget);
}

void AtomicWriter::open(const std::string& hostTarget) {
    m_targetHost = hostTarget;
    const std::string folder = folderOf(hostTarget);
    // ".<name>.<random>.tessaly-tmp" beside the target. A long name is cut so the whole stays a
    // valid name; the full target name is also kept in an extended attribute where the filesystem
    // has them, for the recovery sweep.
    const std::string name = nameOf(hostTarget);
    const bool whole = name.size() <= kWholeNameMax;
    const std::string base = whole ? name : name.substr(0, 120);
    // One generator a thread, seeded from the system's random source (a batch opens thousands).
    thread_local std::mt19937_64 gen = [] {
        std::random_device rd;
        return std::mt19937_64((static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^
                               static_cast<std::uint64_t>(::getpid()));
    }();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(gen()));
        std::string temp = folder + "/." + base + "." + suffix + (whole ? kTemporarySuffix : kCutSuffix);
        m_fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_tempHost = std::move(temp);
            // Owner-only whatever the umask; held by this writer until it closes.
            ::fchmod(m_fd, 0600);
            ::flock(m_fd, LOCK_EX | LOCK_NB);
            if (!whole)
                ::fsetxattr(m_fd, kTargetXattr, name.data(), name.size(), 0);
            return;
        }
        if (errno != EEXIST)
            throw sysErrorFromErrno(errno, hostTarget);
    }
    throw SysError(75, errorDescription(75));
}

AtomicWriter::~AtomicWriter() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_tempHost.empty())
        ::unlink(m_tempHost.c_str());
}

void AtomicWriter::write(const char* data, std::size_t n) {
    if (m_fd < 0)
        throw SysError(5, errorDescription(5));
    writeAllFd(m_fd, data, n, m_tempHost);
    m_written += n;
}

void AtomicWriter::copyFrom(InputFile& in, std::uint64_t n) {
    if (m_fd < 0)
        throw SysError(5, errorDescription(5));
    bool kernelCopy = true;
    while (n > 0 && kernelCopy) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(n, 1ull << 30));
        const ssize_t c = ::copy_file_range(in.fd(), nullptr, m_fd, nullptr, chunk, 0);
        if (c > 0) {
            n -= static_cast<std::uint64_t>(c);
            m_written += static_cast<std::uint64_t>(c);
            continue;
        }
        if (c == 0)
            throw SysError(62, errorDescription(62));
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF ||
            errno == EPERM)
            kernelCopy = false; // the kernel cannot copy between these two: read and write instead
        else
            throw sysErrorFromErrno(errno, m_tempHost);
    }
    std::vector<char>& buffer = copyBuffer();
    while (n > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n, buffer.size()));
        const std::size_t r = in.read(buffer.data(), want);
        if (r == 0)
            throw SysError(62, errorDescription(62));
        writeAllFd(m_fd, buffer.data(), r, m_tempHost);
        n -= r;
        m_written += r;
    }
}

void AtomicWriter::setPermissions(unsigned mode) {
    m_mode = static_cast<int>(mode & 07777);
}

void AtomicWriter::startWriteback() {
    if (m_fd < 0 || m_written <= m_kicked)
        return;
    // Advice only: a filesystem that cannot do it leaves everything to the final flush.
    ::sync_file_range(m_fd, static_cast<off_t>(m_kicked), static_cast<off_t>(m_written - m_kicked),
                      SYNC_FILE_RANGE_WRITE);
    m_kicked = m_written;
    if (m_kicked > m_waited + kWritebackLag) {
        const std::uint64_t upTo = m_kicked - kWritebackLag;
        ::sync_file_range(m_fd, static_cast<off_t>(m_waited), static_cast<off_t>(upTo - m_waited),
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        m_waited = upTo;
    }
}

void AtomicWriter::finish() {
    if (m_fd < 0)
        throw SysError(5, errorDescription(5));
    if (m_finished)
        return;
    if (m_mode >= 0 && ::fchmod(m_fd, static_cast<mode_t>(m_mode)) != 0)
        throw sysErrorFromErrno(errno, m_tempHost);
    m_finished = true;
}

void AtomicWriter::flush() {
    finish();
    if (::fsync(m_fd) != 0)
        throw sysErrorFromErrno(errno, m_tempHost);
}

bool AtomicWriter::markComplete(bool sync) {
    if (sync)
        flush();
    else
        finish();
    if (::fsetxattr(m_fd, kCompleteXattr, "1", 1, 0) != 0) {
        if (errno == ENOTSUP || errno == EOPNOTSUPP)
            return false;
        throw sysErrorFromErrno(errno, m_tempHost);
    }
    // The mark itself made durable before anything is removed in exchange for the file.
    if (sync && ::fsync(m_fd) != 0)
        throw sysErrorFromErrno(errno, m_tempHost);
    return true;
}

bool AtomicWriter::stillLinked() const {
    struct stat mine {};
    struct stat named {};
    return m_fd >= 0 && ::fstat(m_fd, &mine) == 0 && mine.st_nlink > 0 && ::lstat(m_tempHost.c_str(), &named) == 0 &&
           named.st_ino == mine.st_ino && named.st_dev == mine.st_dev;
}

void AtomicWriter::commit(bool replaceExisting, bool sync) {
    if (m_fd < 0 || m_committed)
        throw SysError(5, errorDescription(5));
    if (replaceExisting && m_mode < 0) {
        // The replacement keeps the permissions of the file it replaces.
        struct stat st {};
        if (::stat(m_targetHost.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            m_mode = static_cast<int>(st.st_mode & 07777);
    }
    if (sync)
        flush();
    else
        finish();
    // The descriptor (and with it the flock) is kept until the rename is done, so no recovery
    // sweep takes the file for an abandoned one in between.
    if (replaceExisting) {
        if (::rename(m_tempHost.c_str(), m_targetHost.c_str()) != 0)
            throw sysErrorFromErrno(errno, m_targetHost);
    } else if (::renameat2(AT_FDCWD, m_tempHost.c_str(), AT_FDCWD, m_targetHost.c_str(), RENAME_NOREPLACE) != 0) {
        const int err = errno;
        if (err == EEXIST)
            throw SysError(58, errorDescription(58));
        if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP)
            throw sysErrorFromErrno(err, m_targetHost);
        // The filesystem has no no-replace rename: a hard link refuses a taken name just as well.
        if (::link(m_tempHost.c_str(), m_targetHost.c_str()) == 0) {
            ::unlink(m_tempHost.c_str());
        } else {
            const int linkErr = errno;
            if (linkErr == EEXIST)
                throw SysError(58, errorDescription(58));
            if (linkErr != EPERM && linkErr != EOPNOTSUPP && linkErr != ENOSYS)
                throw sysErrorFromErrno(linkErr, m_targetHost);
            // No hard links either (vfat): check, then rename.
            struct stat st {};
            if (::lstat(m_targetHost.c_str(), &st) == 0)
                throw SysError(58, errorDescription(58));
            if (::rename(m_tempHost.c_str(), m_targetHost.c_str()) != 0)
                throw sysErrorFromErrno(errno, m_targetHost);
        }
    }
    m_committed = true;
    // The result is in place; a cut name's target is no longer ours to keep in an attribute.
    if (endsWith(m_tempHost, kCutSuffix))
        ::fremovexattr(m_fd, kTargetXattr);
    ::fremovexattr(m_fd, kCompleteXattr);
    const int closed = ::close(m_fd);
    const int closeErr = errno;
    m_fd = -1;
    if (closed != 0 && closeErr != EINTR)
        throw sysErrorFromErrno(closeErr, m_targetHost);
    if (sync)
        fsyncFolderHost(folderOf(m_targetHost));
}

void writeFileAtomicHost(const std::string& hostPath, const std::string& data) {
    AtomicWriter w(AtomicWriter::HostPath{}, hostPath);
    w.write(data);
    w.commit(true);
}

void writeFileAtomic(const std::string& windowsPath, const std::string& data) {
    writeFileAtomicHost(toHost(windowsPath), data);
}

} // namespace platform
