#include "platform/FileIO.h"

#include "platform/Environment.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"
#include "platform/UniqueFd.h"

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
    // The access time is left alone where the system lets us (only the file's owner may ask).
    int fd = ::open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM)
        fd = ::open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
            throw SysError(ErrorKind::PathFileAccess, errorDescription(ErrorKind::PathFileAccess),
                           std::strerror(EISDIR));
        throw SysError(ErrorKind::PathFileAccess, errorDescription(ErrorKind::PathFileAccess), "not a regular file");
    }
    // Back to ordinary reads for the file itself.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    size = static_cast<std::uint64_t>(st.st_size);
    return fd;
}

// The extended attribute that marks a temporary file as the program's own and, for names too long
// to be kept whole in the temporary name, holds the full target name (empty otherwise).
constexpr const char* kTargetXattr = "user.tessaly.target";
// The extended attribute a run sets on a temporary file once its content is on disk and whole:
// only a file so marked is ever put in place by the recovery sweep.
constexpr const char* kCompleteXattr = "user.tessaly.complete";
// Temporary names whose target name was cut end in this; only the attribute or the journal names
// their target.
constexpr const char* kCutSuffix = ".cut.tessaly-tmp";
constexpr const char* kCutPart = ".cut";
// A journal's name: its temporary file's name with this before the suffix.
constexpr const char* kJournalPart = ".journal";
// The journal's line that marks the content complete.
constexpr const char* kJournalComplete = "complete\n";
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

std::string readAllHost(const HostPath& path) {
    const std::string& host = path.str();
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
    return readAllHost(toHost(WinPath(windowsPath)));
}

int openFolderHost(const std::string& hostFolder, const std::string& errorPath) {
    const int fd = ::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw sysErrorFromErrno(errno, errorPath.empty() ? hostFolder : errorPath);
    return fd;
}

BesideFile readBeside(int folderFd, const std::string& name, const std::string& hostFolder) {
    BesideFile file;
    const std::string host = hostpath::join(hostFolder, name);
    // O_NONBLOCK: a named pipe of that name must not hold the program up.
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            return file;
        // ELOOP: the name is a symbolic link. A folder opens (read-only), and is told apart below.
        if (err == ELOOP || err == ENXIO || err == EISDIR) {
            file.kind = BesideFile::Kind::Other;
            return file;
        }
        throw sysErrorFromErrno(err, host);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw sysErrorFromErrno(errno, host);
    if (!S_ISREG(st.st_mode)) {
        file.kind = BesideFile::Kind::Other;
        return file;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.kind = BesideFile::Kind::Regular;
    file.mode = st.st_mode & 07777;
    char buf[65536];
    for (;;) {
        const std::size_t r = readSomeFd(fd, buf, sizeof buf, host);
        if (r == 0)
            break;
        file.content.append(buf, r);
    }
    return file;
}

void removeFile(const std::string& windowsPath) {
    const std::string host = toHost(windowsPath);
    // unlink needs no write permission on the file itself, only on its folder.
    if (::unlink(host.c_str()) != 0) {
        const int err = errno;
        if (err == EISDIR)
            throw SysError(ErrorKind::PathFileAccess);
        throw sysErrorFromErrno(err, host);
    }
}

void createFolder(const std::string& windowsPath) {
    const std::string host = toHost(windowsPath);
    if (::mkdir(host.c_str(), 0777) != 0) {
        const int err = errno;
        if (err == EEXIST)
            throw SysError(ErrorKind::PathFileAccess);
        throw sysErrorFromErrno(err, host);
    }
}

void syncFolder(const std::string& windowsFolder) {
    fsyncFolderHost(toHost(windowsFolder));
}

void syncFilesystemHost(const HostPath& path) {
    const std::string& hostPath = path.str();
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

namespace {

// A temporary name taken apart: ".<base>.<16 hex>[.cut][.journal].tessaly-tmp".
struct TemporaryName {
    std::string base;
    bool cut = false;
    bool journal = false;
};

bool parseTemporaryName(const std::string& name, TemporaryName& out) {
    if (name.empty() || name[0] != '.' || !endsWith(name, kTemporarySuffix))
        return false;
    std::string rest = name.substr(0, name.size() - std::char_traits<char>::length(kTemporarySuffix));
    out = {};
    if (endsWith(rest, kJournalPart)) {
        out.journal = true;
        rest.resize(rest.size() - std::char_traits<char>::length(kJournalPart));
    }
    if (endsWith(rest, kCutPart)) {
        out.cut = true;
        rest.resize(rest.size() - std::char_traits<char>::length(kCutPart));
    }
    // "." base "." 16 hex digits, the base not empty.
    if (rest.size() < 1 + 1 + 1 + 16)
        return false;
    const std::size_t dot = rest.size() - 17;
    if (rest[dot] != '.')
        return false;
    for (std::size_t i = dot + 1; i < rest.size(); ++i) {
        const char c = rest[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    out.base = rest.substr(1, dot - 1);
    return true;
}

// The journal's first line; then "target <length>\n<name>\n", then "complete\n" once marked.
constexpr const char* kJournalMagic = "tessaly temporary file\n";

std::string journalText(const std::string& targetName, bool complete) {
    std::string text = kJournalMagic;
    text += "target " + std::to_string(targetName.size()) + "\n" + targetName + "\n";
    if (complete)
        text += kJournalComplete;
    return text;
}

// Reads a journal without following a link or waiting on anything that is not a regular file.
// False when there is none; `text` gets at most a few KiB of it.
bool readJournal(const std::string& hostJournal, std::string& text) {
    const int fd = ::open(hostJournal.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[4096];
    text.clear();
    for (;;) {
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(r));
        if (text.size() >= sizeof buf)
            break;
    }
    ::close(fd);
    return true;
}

// A journal's content: whether it is one of ours (empty, as a kill right after creating it leaves
// it, or starting with the first line or a part of it), and what it holds.
bool parseJournal(const std::string& text, std::string& targetName, bool& complete) {
    const std::string magic = kJournalMagic;
    targetName.clear();
    complete = false;
    if (text.size() < magic.size())
        return magic.compare(0, text.size(), text) == 0;
    if (text.compare(0, magic.size(), magic) != 0)
        return false;
    std::size_t at = magic.size();
    if (text.compare(at, 7, "target ") != 0)
        return true; // cut short before the name: ours, and nothing marked
    at += 7;
    const std::size_t eol = text.find('\n', at);
    if (eol == std::string::npos)
        return true;
    std::size_t length = 0;
    for (std::size_t i = at; i < eol; ++i) {
        if (text[i] < '0' || text[i] > '9' || length > 4096)
            return true;
        length = length * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    at = eol + 1;
    if (length == 0 || text.size() < at + length + 1 || text[at + length] != '\n')
        return true;
    targetName = text.substr(at, length);
    at += length + 1;
    complete = text.compare(at, std::string::npos, kJournalComplete) == 0;
    return true;
}

bool isRegularHost(const std::string& host) {
    struct stat st {};
    return ::lstat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Sets an attribute on the open file and reads it back: some filesystems take an attribute and
// keep nothing, and a mark that is not there must not be counted on.
bool setCheckedXattr(int fd, const char* name, const std::string& value) {
    if (::fsetxattr(fd, name, value.data(), value.size(), 0) != 0)
        return false;
    std::string back(value.size() + 1, '\0');
    const ssize_t n = ::fgetxattr(fd, name, back.data(), back.size());
    return n == static_cast<ssize_t>(value.size()) && back.compare(0, value.size(), value) == 0;
}

} // namespace

bool isTemporaryName(const std::string& name) {
    TemporaryName parsed;
    return parseTemporaryName(name, parsed);
}

bool isJournalName(const std::string& name) {
    TemporaryName parsed;
    return parseTemporaryName(name, parsed) && parsed.journal;
}

std::string temporaryNameOfJournal(const std::string& journalName) {
    if (!isJournalName(journalName))
        return {};
    const std::size_t suffix = std::char_traits<char>::length(kTemporarySuffix);
    const std::size_t part = std::char_traits<char>::length(kJournalPart);
    return journalName.substr(0, journalName.size() - suffix - part) + kTemporarySuffix;
}

std::string journalPathOf(const std::string& hostTemporary) {
    const std::size_t suffix = std::char_traits<char>::length(kTemporarySuffix);
    if (!endsWith(hostTemporary, kTemporarySuffix))
        return {};
    return hostTemporary.substr(0, hostTemporary.size() - suffix) + kJournalPart + kTemporarySuffix;
}

TemporaryInfo inspectTemporary(const std::string& hostTemporary) {
    TemporaryInfo info;
    TemporaryName parsed;
    if (!parseTemporaryName(nameOf(hostTemporary), parsed) || parsed.journal || !isRegularHost(hostTemporary))
        return info;
    char buf[1024];
    // Empty for a whole name (the temporary name holds it), the full name for a cut one.
    ssize_t n = ::lgetxattr(hostTemporary.c_str(), kTargetXattr, buf, sizeof buf);
    if (n >= 0) {
        info.ours = true;
        info.targetName.assign(buf, static_cast<std::size_t>(n));
    }
    n = ::lgetxattr(hostTemporary.c_str(), kCompleteXattr, buf, sizeof buf);
    if (n == 1 && buf[0] == '1') {
        info.ours = true;
        info.complete = true;
    }
    std::string text;
    if (readJournal(journalPathOf(hostTemporary), text)) {
        std::string journalTarget;
        bool journalComplete = false;
        if (parseJournal(text, journalTarget, journalComplete)) {
            // The journal is there because the attribute could not be trusted: its name counts.
            info.ours = true;
            info.journal = true;
            if (!journalTarget.empty())
                info.targetName = journalTarget;
            info.complete = info.complete || journalComplete;
        }
    }
    if (!info.ours)
        return {};
    if (info.targetName.empty() && !parsed.cut)
        info.targetName = parsed.base;
    return info;
}

std::string temporaryTargetName(const std::string& hostTemporary) {
    return inspectTemporary(hostTemporary).targetName;
}

TemporaryState temporaryState(const std::string& hostTemporary) {
    const TemporaryInfo info = inspectTemporary(hostTemporary);
    if (!info.ours)
        return TemporaryState::NotOurs;
    return info.complete ? TemporaryState::Complete : TemporaryState::Unfinished;
}

bool temporaryInUse(const std::string& hostTemporary) {
    const int fd = ::open(hostTemporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno != ENOENT;
    const bool inUse = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return inUse;
}

void removeTemporaryHost(const std::string& hostTemporary) {
    if (::unlink(hostTemporary.c_str()) != 0 && errno != ENOENT)
        throw sysErrorFromErrno(errno, hostTemporary);
    const std::string journal = journalPathOf(hostTemporary);
    if (!journal.empty() && ::unlink(journal.c_str()) != 0 && errno != ENOENT)
        throw sysErrorFromErrno(errno, journal);
}

bool isOrphanJournal(const std::string& hostJournal) {
    const std::string temporaryName = temporaryNameOfJournal(nameOf(hostJournal));
    if (temporaryName.empty())
        return false;
    struct stat st {};
    if (::lstat(hostpath::join(folderOf(hostJournal), temporaryName).c_str(), &st) == 0 || errno != ENOENT)
        return false;
    std::string text;
    std::string target;
    bool complete = false;
    // Only a journal with our first line: an empty file of that name is left alone.
    return readJournal(hostJournal, text) && !text.empty() && parseJournal(text, target, complete);
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
            throw SysError(ErrorKind::InputPastEnd);
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

AtomicWriter::AtomicWriter(const WinPath& target) {
    open(toHost(target), -1);
}

AtomicWriter::AtomicWriter(const HostPath& target) {
    open(target, -1);
}

AtomicWriter::AtomicWriter(int folderFd, const HostPath& target) {
    open(target, folderFd);
}

void AtomicWriter::open(const std::string& hostTarget, int folderFd) {
    m_targetHost = hostTarget;
    const std::string folder = folderOf(hostTarget);
    m_targetName = nameOf(hostTarget);
    m_dirFd = folderFd >= 0 ? ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0)
                            : ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dirFd < 0)
        throw sysErrorFromErrno(errno, hostTarget); // names the target, so a missing folder is error 76
    // ".<name>.<random>.tessaly-tmp" beside the target. A long name is cut so the whole stays a
    // valid name. The full target name goes into an attribute, which also tells the recovery sweep
    // that the file is the program's own; where the filesystem does not keep it, into the journal.
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
        std::string tempName = "." + base + "." + suffix + (whole ? kTemporarySuffix : kCutSuffix);
        m_fd = ::openat(m_dirFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_tempHost = hostpath::join(folder, tempName);
            m_tempName = std::move(tempName);
            // Owner-only whatever the umask; held by this writer until it closes (taken before the
            // file is marked as ours, so that no sweep ever sees it marked and free).
            ::fchmod(m_fd, 0600);
            ::flock(m_fd, LOCK_EX | LOCK_NB);
            // A whole name is in the temporary name already: the attribute is then only the mark,
            // small enough to stay in the file's own metadata.
            if (!setCheckedXattr(m_fd, kTargetXattr, whole ? std::string() : name)) {
                ::fremovexattr(m_fd, kTargetXattr); // whatever was kept of it is not to be read
                try {
                    writeJournal(false, false);
                } catch (...) {
                    ::close(m_fd);
                    m_fd = -1;
                    ::unlinkat(m_dirFd, m_tempName.c_str(), 0);
                    m_tempHost.clear();
                    throw;
                }
            }
            return;
        }
        if (errno != EEXIST) {
            const int err = errno;
            ::close(m_dirFd);
            m_dirFd = -1;
            throw sysErrorFromErrno(err, hostTarget);
        }
    }
    ::close(m_dirFd);
    m_dirFd = -1;
    throw SysError(ErrorKind::PathFileAccess);
}

void AtomicWriter::writeJournal(bool complete, bool sync) {
    const std::string journal = journalPathOf(m_tempHost);
    const std::string journalName = nameOf(journal);
    const std::string text = journalText(m_targetName, complete);
    int fd = -1;
    if (m_journalHost.empty()) {
        fd = ::openat(m_dirFd, journalName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            throw sysErrorFromErrno(errno, journal);
        m_journalHost = journal;
        ::fchmod(fd, 0600);
    } else {
        // Marked: the whole text written again over the same bytes plus the mark, in one write.
        fd = ::openat(m_dirFd, journalName.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            throw sysErrorFromErrno(errno, journal);
    }
    try {
        writeAllFd(fd, text.data(), text.size(), journal);
        if (sync && ::fsync(fd) != 0)
            throw sysErrorFromErrno(errno, journal);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0 && errno != EINTR)
        throw sysErrorFromErrno(errno, journal);
}

AtomicWriter::~AtomicWriter() {
    if (m_fd >= 0)
        ::close(m_fd);
    const UniqueFd folder(m_dirFd);
    if (m_committed || m_tempHost.empty())
        return;
    // Marked complete and then not put in place (the rename failed): the caller may have removed
    // the source in exchange for it, so unless another name still shows the content, it is left
    // for the recovery sweep, which knows whether the source is still there.
    if (m_marked && m_commitTried && !m_replacing) {
        struct stat st {};
        if (::fstatat(m_dirFd, m_tempName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_nlink == 1)
            return;
    }
    ::unlinkat(m_dirFd, m_tempName.c_str(), 0);
    if (!m_journalHost.empty())
        ::unlinkat(m_dirFd, nameOf(m_journalHost).c_str(), 0);
}

void AtomicWriter::write(const char* data, std::size_t n) {
    if (m_fd < 0)
        throw SysError(ErrorKind::InvalidArgument);
    writeAllFd(m_fd, data, n, m_tempHost);
    m_written += n;
}

void AtomicWriter::copyFrom(InputFile& in, std::uint64_t n) {
    if (m_fd < 0)
        throw SysError(ErrorKind::InvalidArgument);
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
            throw SysError(ErrorKind::InputPastEnd);
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
            throw SysError(ErrorKind::InputPastEnd);
        writeAllFd(m_fd, buffer.data(), r, m_tempHost);
        n -= r;
        m_written += r;
    }
}

void AtomicWriter::setPermissions(unsigned mode) {
    m_mode = static_cast<int>(mode & 07777);
}

void AtomicWriter::setTimes(const FileTimes& times) {
    m_times = times;
}

bool AtomicWriter::setExtendedAttribute(const char* name, const std::string& value) {
    if (m_fd < 0)
        throw SysError(ErrorKind::InvalidArgument);
    return setCheckedXattr(m_fd, name, value);
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
        throw SysError(ErrorKind::InvalidArgument);
    if (m_finished)
        return;
    if (m_mode >= 0 && ::fchmod(m_fd, static_cast<mode_t>(m_mode)) != 0)
        throw sysErrorFromErrno(errno, m_tempHost);
    if (m_times) {
        const timespec times[2] = {m_times->accessed, m_times->modified};
        // Filesystems that set their own times (some network and FUSE ones) refuse; the content
        // is whole all the same.
        if (::futimens(m_fd, times) != 0 && errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
            throw sysErrorFromErrno(errno, m_tempHost);
    }
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
    if (m_journalHost.empty() && setCheckedXattr(m_fd, kCompleteXattr, "1")) {
        // The mark itself made durable before anything is removed in exchange for the file.
        if (sync && ::fsync(m_fd) != 0)
            throw sysErrorFromErrno(errno, m_tempHost);
    } else {
        // The journal holds the mark (and the name): written, and with sync flushed with the
        // folder, so that both files are there after a crash.
        writeJournal(true, sync);
        if (sync && ::fsync(m_dirFd) != 0 && errno != EINVAL && errno != EROFS)
            throw sysErrorFromErrno(errno, folderOf(m_tempHost));
    }
    m_marked = true;
    return true;
}

bool AtomicWriter::stillLinked() const {
    struct stat mine {};
    struct stat named {};
    return m_fd >= 0 && ::fstat(m_fd, &mine) == 0 && mine.st_nlink > 0 &&
           ::fstatat(m_dirFd, m_tempName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == mine.st_ino &&
           named.st_dev == mine.st_dev;
}

void AtomicWriter::commit(bool replaceExisting, bool sync) {
    if (m_fd < 0 || m_committed)
        throw SysError(ErrorKind::InvalidArgument);
    m_commitTried = true;
    m_replacing = replaceExisting;
    if (replaceExisting && m_mode < 0) {
        // The replacement keeps the permissions of the file it replaces: the file itself, opened
        // without following a link (a link's target is someone else's file, and its mode is not ours
        // to copy).
        const UniqueFd existing(::openat(m_dirFd, m_targetName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (existing.valid() && ::fstat(existing.get(), &st) == 0 && S_ISREG(st.st_mode))
            m_mode = static_cast<int>(st.st_mode & 07777);
    }
    if (sync)
        flush();
    else
        finish();
    // The descriptor (and with it the flock) is kept until the rename is done, so no recovery
    // sweep takes the file for an abandoned one in between.
    const char* temp = m_tempName.c_str();
    const char* target = m_targetName.c_str();
    if (replaceExisting) {
        if (::renameat(m_dirFd, temp, m_dirFd, target) != 0)
            throw sysErrorFromErrno(errno, m_targetHost);
    } else if (::renameat2(m_dirFd, temp, m_dirFd, target, RENAME_NOREPLACE) != 0) {
        const int err = errno;
        if (err == EEXIST)
            throw SysError(ErrorKind::FileAlreadyExists);
        if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP)
            throw sysErrorFromErrno(err, m_targetHost);
        // The filesystem has no no-replace rename: a hard link refuses a taken name just as well.
        if (::linkat(m_dirFd, temp, m_dirFd, target, 0) == 0) {
            ::unlinkat(m_dirFd, temp, 0);
        } else {
            const int linkErr = errno;
            if (linkErr == EEXIST)
                throw SysError(ErrorKind::FileAlreadyExists);
            if (linkErr != EPERM && linkErr != EOPNOTSUPP && linkErr != ENOSYS)
                throw sysErrorFromErrno(linkErr, m_targetHost);
            // No hard links either (vfat): check, then rename.
            struct stat st {};
            if (::fstatat(m_dirFd, target, &st, AT_SYMLINK_NOFOLLOW) == 0)
                throw SysError(ErrorKind::FileAlreadyExists);
            if (::renameat(m_dirFd, temp, m_dirFd, target) != 0)
                throw sysErrorFromErrno(errno, m_targetHost);
        }
    }
    m_committed = true;
    // The result is in place: the marks of a temporary file are no longer the file's to carry,
    // and the journal goes (one left by a crash here is swept: its temporary file is gone).
    ::fremovexattr(m_fd, kTargetXattr);
    ::fremovexattr(m_fd, kCompleteXattr);
    const int closed = ::close(m_fd);
    const int closeErr = errno;
    m_fd = -1;
    if (!m_journalHost.empty())
        ::unlinkat(m_dirFd, nameOf(m_journalHost).c_str(), 0);
    if (closed != 0 && closeErr != EINTR)
        throw sysErrorFromErrno(closeErr, m_targetHost);
    // Some filesystems refuse fsync on a folder (EINVAL); there is nothing more to do there.
    if (sync && ::fsync(m_dirFd) != 0 && errno != EINVAL && errno != EROFS)
        throw sysErrorFromErrno(errno, folderOf(m_targetHost));
}

void writeFileAtomicHost(const HostPath& path, const std::string& data) {
    AtomicWriter w(path);
    w.write(data);
    w.commit(true);
}

void writeFileAtomic(const std::string& windowsPath, const std::string& data) {
    writeFileAtomicHost(toHost(WinPath(windowsPath)), data);
}

} // namespace platform
