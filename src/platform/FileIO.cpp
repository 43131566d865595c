#include "platform/FileIO.h"

#include "platform/Environment.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    // ".<name>.<random>.tessaly-tmp" beside the target; the name is cut so the whole stays short.
    const std::string base = nameOf(hostTarget).substr(0, 120);
    std::random_device rd;
    std::mt19937_64 gen((static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^ static_cast<std::uint64_t>(::getpid()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(gen()));
        std::string temp = folder + "/." + base + "." + suffix + ".tessaly-tmp";
        m_fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_tempHost = std::move(temp);
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
    }
}

void AtomicWriter::flush() {
    if (m_fd < 0)
        throw SysError(5, errorDescription(5));
    if (::fsync(m_fd) != 0)
        throw sysErrorFromErrno(errno, m_tempHost);
}

void AtomicWriter::commit(bool replaceExisting) {
    if (m_fd < 0 || m_committed)
        throw SysError(5, errorDescription(5));
    flush();
    if (replaceExisting) {
        // The replacement keeps the permissions of the file it replaces.
        struct stat st {};
        if (::stat(m_targetHost.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::fchmod(m_fd, st.st_mode & 07777);
    }
    if (::close(m_fd) != 0) {
        m_fd = -1;
        throw sysErrorFromErrno(errno, m_tempHost);
    }
    m_fd = -1;
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
