#include "platform/PinnedSource.h"

#include "platform/Overwrite.h"
#include "platform/SysError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

namespace {

// A program that opens a leased file makes the kernel tell the lease holder with SIGIO, whose
// default action ends the process. The run notices the break by asking for the lease afterwards,
// so the signal itself is ignored (unless the process already handles it).
void ignoreLeaseBreakSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            ::sigaction(SIGIO, &ignore, nullptr);
        }
    });
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

PinnedFolder::PinnedFolder(const std::string& hostFolder) : m_host(hostFolder) {
    m_fd.reset(::open(hostFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!m_fd.valid())
        throw sysErrorFromErrno(errno, hostFolder);
    struct stat st {};
    if (::fstat(m_fd.get(), &st) != 0)
        throw sysErrorFromErrno(errno, hostFolder);
    m_dev = st.st_dev;
    m_ino = st.st_ino;
}

bool PinnedFolder::stillAt() const {
    struct stat st {};
    return ::stat(m_host.c_str(), &st) == 0 && st.st_dev == m_dev && st.st_ino == m_ino;
}

PinnedSource::PinnedSource(std::shared_ptr<PinnedFolder> folder, const std::string& name)
    : m_folder(std::move(folder)), m_name(name) {
    struct stat st {};
    if (!m_folder || ::fstatat(m_folder->fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return;
    m_valid = true;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    m_links = st.st_nlink;
    m_times = timesOf(st);
}

PinnedSource::Open PinnedSource::open(bool lease) {
    if (!m_valid)
        return Open::Gone;
    // Never waits: a pipe put in the file's place would block an ordinary open. The run's read
    // leaves the access time alone where the system allows it (the file's owner).
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::openat(m_folder->fd(), m_name.c_str(), kFlags | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = ::openat(m_folder->fd(), m_name.c_str(), kFlags);
    if (fd < 0)
        return errno == ELOOP ? Open::Replaced : Open::Gone;
    m_fd.reset(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Open::Gone;
    if (!S_ISREG(st.st_mode) || st.st_dev != m_dev || st.st_ino != m_ino)
        return Open::Replaced;
    m_links = st.st_nlink;
    m_mode = st.st_mode & 07777;
    m_times = timesOf(st);
    // Without a lease (none asked for, or a filesystem or an owner that allows none), the file's
    // size and change times tell at the end whether it was written meanwhile.
    m_size = st.st_size;
    m_mtime = st.st_mtim;
    m_ctime = st.st_ctim;
    m_opened = true;
    if (!lease)
        return Open::Ok;
    ignoreLeaseBreakSignal();
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        m_leased = true;
        return Open::Ok;
    }
    const int err = errno;
    // Without a lease, only the file's own user can say that nobody writes it: another user's file
    // (one that user may hold open, writing) is not taken from them. This holds for root too, whom
    // a writer's open refuses the lease.
    if (st.st_uid != ::geteuid())
        return Open::OwnedByOther;
    if (err == EAGAIN || err == EBUSY)
        return Open::BeingWritten; // a writer has the file open now
    return Open::Ok;
}

std::string PinnedSource::read(std::uint64_t limit) const {
    if (!m_fd.valid())
        throw SysError(ErrorKind::PathFileAccess);
    // The size open() saw: a file written meanwhile is refused at the end (seeAgain), so
    // what it may have grown by is never needed.
    std::string out(static_cast<std::size_t>(std::min<std::uint64_t>(limit, static_cast<std::uint64_t>(m_size))), '\0');
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(m_fd.get(), out.data() + done, out.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw sysErrorFromErrno(errno, m_folder->host() + "/" + m_name);
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    out.resize(done);
    return out;
}

PinnedSource::Seen PinnedSource::seeAgain() const {
    if (!m_valid)
        return Seen::Gone;
    struct stat st {};
    if (::fstatat(m_folder->fd(), m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Seen::Gone;
    if (st.st_dev != m_dev || st.st_ino != m_ino)
        return Seen::Replaced;
    bool written = false;
    if (m_leased) {
        // A lease being broken (an open for writing waits on it) no longer reads as a read lease.
        written = ::fcntl(m_fd.get(), F_GETLEASE) != F_RDLCK;
    } else if (m_opened) {
        // Without a lease, the size and change times tell. A name added or removed changes the
        // change time alone: the end of the run looks at the names itself (linksNow).
        written = st.st_size != m_size || !sameTime(st.st_mtim, m_mtime) ||
                  (!sameTime(st.st_ctim, m_ctime) && st.st_nlink == m_links);
    }
    return written ? Seen::Written : Seen::Unchanged;
}

int PinnedSource::unlink() const {
    return ::unlinkat(m_folder->fd(), m_name.c_str(), 0) == 0 ? 0 : errno;
}

long PinnedSource::linksNow() const {
    struct stat st {};
    if (!m_fd.valid() || ::fstat(m_fd.get(), &st) != 0)
        return -1;
    return static_cast<long>(st.st_nlink);
}

int PinnedSource::openForOverwrite() {
    if (!m_fd.valid())
        return EBADF;
    // An open for writing breaks every read lease, this run's own too.
    if (m_leased)
        ::fcntl(m_fd.get(), F_SETLEASE, F_UNLCK);
    m_leased = false;
    // The file held, opened again through its descriptor: no name is looked up.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
    const auto reopen = [&] {
        int fd = ::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) // no /proc: through the held folder, checked below
            fd = ::openat(m_folder->fd(), m_name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        return fd;
    };
    int fd = reopen();
    if (fd < 0 && errno == EACCES) {
        // The owner's read-only file: writable for the moment of the open (the file is removed next).
        struct stat st {};
        if (::fstat(m_fd.get(), &st) == 0 && st.st_uid == ::geteuid() &&
            ::fchmod(m_fd.get(), (st.st_mode & 07777) | S_IWUSR) == 0) {
            fd = reopen();
            const int err = errno;
            ::fchmod(m_fd.get(), st.st_mode & 07777);
            errno = err;
        }
    }
    if (fd < 0)
        return errno;
    m_writeFd.reset(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) || st.st_dev != m_dev || st.st_ino != m_ino) {
        m_writeFd.reset();
        return EXDEV;
    }
    return 0;
}

int PinnedSource::renameToRandom() {
    // Twice: a folder puts a new name in a free place while the old name still holds its own, and
    // the second new name then takes the place the old one left (names of one length fit there).
    for (int round = 0; round < 2; ++round) {
        const std::string random = platform::renameToRandom(m_folder->fd(), m_name);
        if (random.empty())
            return errno;
        // The name must have led to the pinned file; anything put there meanwhile gets its name back.
        struct stat st {};
        if (::fstatat(m_folder->fd(), random.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != m_dev ||
            st.st_ino != m_ino) {
            ::renameat2(m_folder->fd(), random.c_str(), m_folder->fd(), m_name.c_str(), RENAME_NOREPLACE);
            return EXDEV;
        }
        m_name = random;
    }
    const UniqueFd folder(::openat(m_folder->fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return 0;
}

int PinnedSource::overwrite() {
    if (!m_writeFd.valid())
        return EBADF;
    struct stat st {};
    if (::fstat(m_writeFd.get(), &st) != 0)
        return errno;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
    if (!dataExtents(m_writeFd.get(), static_cast<std::uint64_t>(st.st_size), 0, extents) ||
        !overwritePass(m_writeFd.get(), extents, OverwritePass{}))
        return errno != 0 ? errno : EIO;
    return ::fsync(m_writeFd.get()) == 0 ? 0 : errno;
}

void PinnedSource::release() {
    if (m_leased && m_fd.valid())
        ::fcntl(m_fd.get(), F_SETLEASE, F_UNLCK);
    m_leased = false;
    m_fd.reset();
    m_writeFd.reset();
}

} // namespace platform
