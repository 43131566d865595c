#include "shredder/ShredEngine.h"

#include "platform/Attributes.h"
#include "platform/HostPath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <random>

namespace shredder {

namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr int kMaxDepth = 4096;

void appendRun(std::string& out, int n, const std::string& unit) {
    for (int i = 0; i < n; ++i)
        out += unit;
}

const std::string kTen("\x0A\x00\x00\x00", 4);

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool writeAll(int fd, const char* data, std::size_t n, std::uint64_t offset) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, data, n, static_cast<off_t>(offset));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
        offset += static_cast<std::uint64_t>(w);
    }
    return true;
}

// The names in an open folder, without "." and "..".
bool listNames(int dirFd, std::vector<std::string>& names) {
    const int copy = ::dup(dirFd);
    if (copy < 0)
        return false;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return false;
    }
    ::rewinddir(dir);
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const int err = errno;
    ::closedir(dir);
    errno = err;
    return err == 0;
}

// A random name of `length` letters and digits.
std::string randomName(std::size_t length, std::mt19937_64& rng) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kChars) - 2);
    std::string name(std::max<std::size_t>(length, 1), 'x');
    for (char& c : name)
        c = kChars[pick(rng)];
    return name;
}

std::mt19937_64& generator() {
    thread_local std::mt19937_64 rng{std::random_device{}()};
    return rng;
}

// Opens an entry without following a link. Refused for want of permission, the entry (when it is of
// the kind `type`) gets the owner's `bits` back and is opened again: a read-only file, a locked-down
// folder inside the tree.
int openAt(int dirFd, const std::string& name, int flags, mode_t type, mode_t bits) {
    int fd = ::openat(dirFd, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && (st.st_mode & S_IFMT) == type &&
            ::fchmodat(dirFd, name.c_str(), (st.st_mode & 07777) | bits, 0) == 0)
            fd = ::openat(dirFd, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    }
    return fd;
}

// Entries can be removed from a folder only with write and search permission on it.
void makeWritable(int dirFd) {
    struct stat st {};
    if (::fstat(dirFd, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(dirFd, (st.st_mode & 07777) | S_IRWXU);
}

// The same for a folder that stays (the parent of a shredded item, an emptied folder): its own
// permissions come back when the work in it is done.
class WritableWhile final {
public:
    explicit WritableWhile(int dirFd) : m_fd(dirFd) {
        struct stat st {};
        if (::fstat(dirFd, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU) {
            m_mode = st.st_mode & 07777;
            m_changed = ::fchmod(dirFd, m_mode | S_IRWXU) == 0;
        }
    }
    ~WritableWhile() {
        if (m_changed)
            ::fchmod(m_fd, m_mode);
    }
    WritableWhile(const WritableWhile&) = delete;
    WritableWhile& operator=(const WritableWhile&) = delete;

private:
    int m_fd;
    mode_t m_mode = 0;
    bool m_changed = false;
};

} // namespace

std::vector<std::string> LevelNames() {
    return {"1 pass: pattern and zeros", "2 passes: + random bytes", "3 passes: + random bytes + ones"};
}

int PassCount(int levelIndex) {
    return std::clamp(levelIndex, 0, 2) + 1;
}

std::string StartPattern(int levelIndex) {
    const int n = 100 * std::max(levelIndex, 0);
    std::string out;
    appendRun(out, n, kTen);
    appendRun(out, n, "\xEA\xDE");
    appendRun(out, n, "\x31\xE7");
    for (int i = 0; i < 10; ++i)
        appendRun(out, n, "10");
    for (const char* unit : {".", ".", "V", "e", "r", "\x97", "1", ".", "0", ".", "0"})
        appendRun(out, n, unit);
    for (int i = 0; i < 3; ++i)
        appendRun(out, n, kTen);
    appendRun(out, 10, kTen);
    appendRun(out, 100, kTen);
    appendRun(out, n, std::string(1, '\0'));
    return out;
}

ShredEngine::ShredEngine(int levelIndex) : m_level(std::clamp(levelIndex, 0, 2)), m_start(StartPattern(m_level)) {}

bool ShredEngine::fail(const std::string& host, int err) {
    return fail(host, std::strerror(err));
}

bool ShredEngine::fail(const std::string& host, const std::string& reason) {
    m_failures.push_back(Failure{host, reason});
    return false;
}

void ShredEngine::countBytes(int dirFd, const std::string& name, std::uint64_t& total, int depth) const {
    struct stat st {};
    if (depth > kMaxDepth || ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISREG(st.st_mode)) {
        total += std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), m_start.size()) *
                 static_cast<std::uint64_t>(PassCount(m_level));
    } else if (S_ISDIR(st.st_mode)) {
        Fd sub(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        std::vector<std::string> names;
        if (sub.fd >= 0 && listNames(sub.fd, names))
            for (const auto& n : names)
                countBytes(sub.fd, n, total, depth + 1);
    }
}

std::uint64_t ShredEngine::bytesToWrite(const std::string& host) const {
    std::uint64_t total = 0;
    Fd parent(::open(platform::hostpath::folderOf(host).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.fd >= 0)
        countBytes(parent.fd, platform::hostpath::nameOf(host), total, 0);
    return total;
}

bool ShredEngine::shredFileAt(int dirFd, const std::string& name, const std::string& host) {
    // A read-only file: its owner may write it again, as clearing its attributes does.
    const int raw = openAt(dirFd, name, O_WRONLY | O_NONBLOCK, S_IFREG, S_IWUSR);
    if (raw < 0)
        return fail(host, errno);
    Fd file(raw);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return fail(host, errno);
    if (!S_ISREG(st.st_mode))
        return fail(host, "not a regular file");

    const std::uint64_t length = std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), m_start.size());
    thread_local std::vector<char> buffer(kBlock);
    for (int pass = 0; pass < PassCount(m_level); ++pass) {
        // Pass 1: the start runs, then zeros; pass 2: random bytes; pass 3: ones.
        const char fill = pass == 2 ? '\xFF' : '\0';
        std::fill(buffer.begin(), buffer.end(), fill);
        bool patterned = false; // the buffer holds the start runs
        for (std::uint64_t offset = 0; offset < length;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, length - offset));
            if (pass == 0 && offset < m_start.size()) {
                const std::size_t head = std::min(n, m_start.size() - static_cast<std::size_t>(offset));
                std::memcpy(buffer.data(), m_start.data() + offset, head);
                patterned = true;
            } else if (patterned) {
                std::fill(buffer.begin(), buffer.end(), '\0');
                patterned = false;
            } else if (pass == 1) {
                auto& rng = generator();
                for (std::size_t i = 0; i < n; i += 8) {
                    const std::uint64_t r = rng();
                    std::memcpy(buffer.data() + i, &r, std::min<std::size_t>(8, n - i));
                }
            }
            if (!writeAll(file.fd, buffer.data(), n, offset))
                return fail(host, errno);
            // Start writing this block to the disk now, so the flush at the end finds little left.
            ::sync_file_range(file.fd, static_cast<off_t>(offset), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
            offset += n;
            m_written.fetch_add(n, std::memory_order_relaxed);
        }
        if (::fdatasync(file.fd) != 0)
            return fail(host, errno);
    }

    // A random name of the same length hides the old one before the entry goes.
    std::string current = name;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = randomName(name.size(), generator());
        if (::renameat2(dirFd, current.c_str(), dirFd, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            current = candidate;
            break;
        }
        if (errno != EEXIST)
            break;
    }
    if (::unlinkat(dirFd, current.c_str(), 0) != 0)
        return fail(host, errno);
    ::fsync(dirFd);
    return true;
}

bool ShredEngine::emptyAt(int dirFd, const std::string& host, unsigned long device) {
    makeWritable(dirFd);
    std::vector<std::string> names;
    if (!listNames(dirFd, names))
        return fail(host, errno);
    bool ok = true;
    for (const auto& name : names) {
        const std::string path = platform::hostpath::join(host, name);
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = fail(path, errno) && ok;
        } else if (S_ISDIR(st.st_mode)) {
            ok = removeFolderAt(dirFd, name, path, device) && ok;
        } else if (S_ISREG(st.st_mode)) {
            ok = shredFileAt(dirFd, name, path) && ok;
        } else if (::unlinkat(dirFd, name.c_str(), 0) != 0) {
            // A link, pipe, socket or device: removed, never opened or followed.
            ok = fail(path, errno) && ok;
        }
    }
    ::fsync(dirFd);
    return ok;
}

bool ShredEngine::removeFolderAt(int parentFd, const std::string& name, const std::string& host, unsigned long device) {
    struct stat st {};
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(host, errno);
    if (static_cast<unsigned long>(st.st_dev) != device)
        return fail(host, "another volume is mounted there");
    Fd sub(openAt(parentFd, name, O_RDONLY | O_DIRECTORY, S_IFDIR, S_IRWXU));
    if (sub.fd < 0)
        return fail(host, errno);
    if (!emptyAt(sub.fd, host, device))
        return false;
    if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0)
        return fail(host, errno);
    return true;
}

bool ShredEngine::shred(const std::string& host) {
    const std::string folder = platform::hostpath::folderOf(host);
    const std::string name = platform::hostpath::nameOf(host);
    Fd parent(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.fd < 0)
        return fail(host, errno);
    struct stat st {};
    if (::fstatat(parent.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(host, errno);
    bool ok = false;
    const WritableWhile writable(parent.fd);
    if (S_ISREG(st.st_mode))
        ok = shredFileAt(parent.fd, name, host);
    else if (S_ISDIR(st.st_mode))
        ok = removeFolderAt(parent.fd, name, host, static_cast<unsigned long>(st.st_dev));
    else if (::unlinkat(parent.fd, name.c_str(), 0) == 0)
        ok = true;
    else
        ok = fail(host, errno);
    if (ok) {
        ::fsync(parent.fd);
        // A hidden item leaves its folder's ".hidden" list as well.
        try {
            platform::dropHiddenEntryHost(host);
        } catch (const std::exception&) {
        }
    }
    return ok;
}

bool ShredEngine::Nuke(const std::string& hostFolder) {
    Fd dir(::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.fd < 0)
        return fail(hostFolder, errno);
    struct stat st {};
    if (::fstat(dir.fd, &st) != 0)
        return fail(hostFolder, errno);
    const WritableWhile writable(dir.fd);
    return emptyAt(dir.fd, hostFolder, static_cast<unsigned long>(st.st_dev));
}

} // namespace shredder
