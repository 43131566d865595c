#include "shredder/ShredEngine.h"

#include "platform/Attributes.h"
#include "platform/HostPath.h"
#include "platform/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <random>

namespace shredder {

namespace {

constexpr std::size_t kBlock = 1 << 20;
// Folders of a walk that keep their descriptor open; deeper ones are closed and found again
// through ".." (checked by identity) when the walk comes back up.
constexpr std::size_t kOpenLevels = 64;

void appendRun(std::string& out, int n, const std::string& unit) {
    for (int i = 0; i < n; ++i)
        out += unit;
}

const std::string kTen("\x0A\x00\x00\x00", 4);

using platform::UniqueFd;

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
            ::fchmodat(dirFd, name.c_str(), (st.st_mode & 07777) | bits, AT_SYMLINK_NOFOLLOW) == 0)
            fd = ::openat(dirFd, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    }
    return fd;
}

// Entries can be removed from a folder only with write and search permission on it: a folder is
// given them while the work in it goes on, and its own permissions come back when the work is done.
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

std::mutex g_hooksMutex;
ShredTestHooks g_hooks;

ShredTestHooks hooks() {
    const std::lock_guard<std::mutex> hold(g_hooksMutex);
    return g_hooks;
}

// What a walk needs to know of an entry before it touches it, read without following a link.
struct Ident {
    platform::FileId id;
    std::uint64_t mount = 0; // mount id; 0 when the system does not tell
    bool mountRoot = false;
    mode_t mode = 0;
    std::uint64_t links = 0;
    std::uint64_t size = 0;
};

bool identify(int dirFd, const char* name, int flags, Ident& out) {
    struct statx sx {};
    if (::statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                STATX_TYPE | STATX_MODE | STATX_INO | STATX_NLINK | STATX_SIZE | STATX_MNT_ID, &sx) != 0)
        return false;
    out.id = platform::FileId{static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)), sx.stx_ino};
    out.mount = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : 0;
    out.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    out.mode = sx.stx_mode;
    out.links = sx.stx_nlink;
    out.size = sx.stx_size;
    return true;
}

// True when the entry lies on another mount than the folder it was found in: another device, another
// mount id (a bind mount of the same device), or the root of a mount.
bool crossesMount(const Ident& entry, const Ident& folder) {
    return entry.id.dev != folder.id.dev || entry.mountRoot ||
           (entry.mount != 0 && folder.mount != 0 && entry.mount != folder.mount);
}

// Opens a folder by a path that holds no link: each part is opened from the one before without
// following links, so a link put anywhere into the path makes the open fail rather than lead
// elsewhere. Readable when the folder allows it (for fsync and fchmod), else a path descriptor.
int openFolderNoLinks(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        errno = EINVAL;
        return -1;
    }
    int fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::size_t at = 1;
    while (fd >= 0 && at < path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty())
            continue;
        if (part == "." || part == "..") {
            ::close(fd);
            errno = ELOOP;
            return -1;
        }
        const int next = ::openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int err = errno;
        struct stat st {};
        if (next < 0 && err == ENOTDIR && ::fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode))
            err = ELOOP; // a link where a folder was
        ::close(fd);
        errno = err;
        fd = next;
    }
    if (fd < 0)
        return -1;
    const int readable = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0)
        return fd;
    ::close(fd);
    return readable;
}

// A folder being walked: its descriptor (closed when the walk is deep below it), identity, name in
// the folder above, and the entries still to do.
struct WalkLevel {
    int fd = -1;
    Ident ident;
    std::string name;
    std::vector<std::string> names;
    std::size_t next = 0;
    bool ok = true;
    bool renamed = false;  // a file's name in it was changed or removed: synced before it is left
    int loosenedFrom = -1; // its permission bits before the walk made it writable (-1: unchanged)
};

// The host path of an entry met during a walk, built only when asked for.
struct Path {
    const std::function<std::string(const std::string&)>* build;
    const std::string* name;
    std::string operator()() const { return (*build)(*name); }
};

// Walks the tree inside the open folder `topFd` depth first, through descriptors only, without
// recursion and with at most kOpenLevels + 1 descriptors of its own. The visitor decides:
//   bool enter(const Ident& e, const Ident& folder, const Path&)              — go into a folder?
//   bool entry(int dirFd, const std::string& name, const Ident& e, const Ident& folder, const Path&)
//                                                                              — any other entry
//   bool leave(int parentFd, const std::string& name, bool ok, const Path&)    — a folder is done
//   bool stop()                                                                — end the walk early
//   bool changed(const std::string& host)                                      — a folder was moved
//   bool error(const std::string& host, int err)                               — a call failed
// A Path builds the host path of the entry when called; it costs as much as the tree is deep, so
// visitors call it only for what they report or show. Returns whether everything inside went
// (every call returned true); false when the walk was stopped.
template <typename Visitor>
bool walkTree(int topFd, const Ident& top, const std::string& topHost, bool makeWritableInside, Visitor& v) {
    std::vector<WalkLevel> stack;
    stack.push_back(WalkLevel{topFd, top, std::string(), {}, 0, true, false, -1});
    if (!listNames(topFd, stack.back().names)) {
        v.error(topHost, errno);
        return false;
    }
    const std::function<std::string(const std::string&)> pathTo = [&](const std::string& name) {
        std::string p = topHost;
        for (std::size_t i = 1; i < stack.size(); ++i)
            (p += '/') += stack[i].name;
        if (!name.empty())
            (p += '/') += name;
        return p;
    };
    bool aborted = false;
    while (!aborted) {
        WalkLevel& level = stack.back();
        if (level.next < level.names.size() && !v.stop()) {
            const std::string name = level.names[level.next++];
            Ident e;
            if (!identify(level.fd, name.c_str(), 0, e)) {
                if (errno != ENOENT) // gone meanwhile: nothing to do
                    level.ok = v.error(pathTo(name), errno);
                continue;
            }
            if (!S_ISDIR(e.mode)) {
                level.ok = v.entry(level.fd, name, e, level.ident, Path{&pathTo, &name}) && level.ok;
                level.renamed = true;
                continue;
            }
            if (!v.enter(e, level.ident, Path{&pathTo, &name})) {
                level.ok = false;
                continue;
            }
            const int sub = openAt(level.fd, name, O_RDONLY | O_DIRECTORY, S_IFDIR, S_IRWXU);
            if (sub < 0) {
                level.ok = v.error(pathTo(name), errno);
                continue;
            }
            if (platform::fileIdOf(sub) != e.id) {
                ::close(sub);
                level.ok = v.changed(pathTo(name));
                continue;
            }
            WalkLevel child{sub, e, name, {}, 0, true, false, -1};
            struct stat subStat {};
            if (makeWritableInside && ::fstat(sub, &subStat) == 0 && (subStat.st_mode & S_IRWXU) != S_IRWXU &&
                ::fchmod(sub, (subStat.st_mode & 07777) | S_IRWXU) == 0)
                child.loosenedFrom = static_cast<int>(subStat.st_mode & 07777);
            if (!listNames(sub, child.names)) {
                ::close(sub);
                level.ok = v.error(pathTo(name), errno);
                continue;
            }
            stack.push_back(std::move(child)); // `level` is not used after this
            if (stack.size() > kOpenLevels + 1) {
                WalkLevel& far = stack[stack.size() - kOpenLevels - 1];
                if (&far != &stack.front() && far.fd >= 0) {
                    ::close(far.fd);
                    far.fd = -1;
                }
            }
            continue;
        }
        if (stack.size() == 1)
            break;
        WalkLevel child = std::move(stack.back());
        stack.pop_back();
        WalkLevel& parent = stack.back();
        if (parent.fd < 0) {
            // Found again from below; it must be the very folder the walk came down through.
            const int up = ::openat(child.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (up < 0 || platform::fileIdOf(up) != parent.ident.id) {
                if (up >= 0)
                    ::close(up);
                ::close(child.fd);
                v.changed(pathTo(std::string()));
                aborted = true;
                break;
            }
            parent.fd = up;
        }
        // The new random names of its files reach the disk before the folder goes (a folder that
        // held only folders has nothing to sync: thousands of them must not cost a flush each).
        if (child.renamed)
            ::fsync(child.fd);
        // A folder that stays (something in it was left, or the run was stopped) gets its own
        // permissions back.
        if (child.loosenedFrom >= 0 && (!child.ok || v.stop()))
            ::fchmod(child.fd, static_cast<mode_t>(child.loosenedFrom));
        ::close(child.fd);
        parent.ok = v.leave(parent.fd, child.name, child.ok, Path{&pathTo, &child.name}) && parent.ok;
    }
    for (std::size_t i = 1; i < stack.size(); ++i)
        if (stack[i].fd >= 0)
            ::close(stack[i].fd);
    return !aborted && stack.front().ok;
}

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

ShredEngine::ShredEngine(int levelIndex) : ShredEngine(levelIndex, platform::ProtectedSet::current()) {}

ShredEngine::ShredEngine(int levelIndex, platform::ProtectedSet guard)
    : m_level(std::clamp(levelIndex, 0, 2)), m_start(StartPattern(m_level)), m_guard(std::move(guard)) {}

void SetShredTestHooks(ShredTestHooks newHooks) {
    const std::lock_guard<std::mutex> hold(g_hooksMutex);
    g_hooks = std::move(newHooks);
}

bool ShredEngine::fail(const std::string& host, int err) {
    return fail(host, std::strerror(err));
}

bool ShredEngine::fail(const std::string& host, const std::string& reason, bool sentence) {
    m_failures.push_back(Failure{host, reason, sentence});
    return false;
}

std::string ShredEngine::current() const {
    const std::lock_guard<std::mutex> hold(m_currentMutex);
    return m_current;
}

void ShredEngine::setCurrent(const std::string& host) {
    const std::lock_guard<std::mutex> hold(m_currentMutex);
    m_current = host;
}

namespace {

// Adds up what the passes will write, without touching anything.
struct CountVisitor {
    std::uint64_t perFile(std::uint64_t size) const { return std::max<std::uint64_t>(size, start) * passes; }
    bool enter(const Ident& e, const Ident& folder, const Path&) { return !crossesMount(e, folder); }
    bool entry(int, const std::string&, const Ident& e, const Ident& folder, const Path&) {
        if (S_ISREG(e.mode) && e.links <= 1 && !crossesMount(e, folder))
            total += perFile(e.size);
        return true;
    }
    bool leave(int, const std::string&, bool, const Path&) { return true; }
    bool stop() const { return false; }
    bool changed(const std::string&) { return false; }
    bool error(const std::string&, int) { return false; }
    std::uint64_t start = 0;
    std::uint64_t passes = 1;
    std::uint64_t total = 0;
};

} // namespace

std::uint64_t ShredEngine::bytesToWrite(const std::string& host) const {
    UniqueFd parent(openFolderNoLinks(platform::hostpath::folderOf(host)));
    const std::string name = platform::hostpath::nameOf(host);
    Ident item;
    Ident folder;
    if (parent.get() < 0 || !identify(parent.get(), name.c_str(), 0, item) ||
        !identify(parent.get(), "", AT_EMPTY_PATH, folder))
        return 0;
    CountVisitor count;
    count.start = m_start.size();
    count.passes = static_cast<std::uint64_t>(PassCount(m_level));
    if (S_ISREG(item.mode))
        return item.links <= 1 ? count.perFile(item.size) : 0;
    if (!S_ISDIR(item.mode))
        return 0;
    UniqueFd dir(::openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0 || platform::fileIdOf(dir.get()) != item.id)
        return 0;
    walkTree(dir.get(), item, host, false, count);
    return count.total;
}

bool ShredEngine::shredFileAt(int dirFd, const std::string& name, const std::string& host, platform::FileId id,
                              std::uint64_t links) {
    // Content that other names still show is not this item's to destroy.
    if (links > 1)
        return fail(host, kHardLinksReason, true);
    // A read-only file: its owner may write it again, as clearing its attributes does.
    const int raw = openAt(dirFd, name, O_WRONLY | O_NONBLOCK, S_IFREG, S_IWUSR);
    if (raw < 0)
        return fail(host, errno);
    UniqueFd file(raw);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        return fail(host, errno);
    if (!S_ISREG(st.st_mode) || platform::fileIdOf(file.get()) != id)
        return fail(host, kChangedReason, true);
    if (st.st_nlink > 1)
        return fail(host, kHardLinksReason, true);

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
            if (!writeAll(file.get(), buffer.data(), n, offset))
                return fail(host, errno);
            // Start writing this block to the disk now, so the flush at the end finds little left.
            ::sync_file_range(file.get(), static_cast<off_t>(offset), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
            offset += n;
            m_written.fetch_add(n, std::memory_order_relaxed);
        }
        if (::fdatasync(file.get()) != 0)
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
    // The name removed must still be the file that was overwritten.
    Ident now;
    if (!identify(dirFd, current.c_str(), 0, now) || now.id != id)
        return fail(host, kChangedReason, true);
    if (const auto& hook = hooks().beforeRemove)
        hook(dirFd, current, host);
    if (::unlinkat(dirFd, current.c_str(), 0) != 0)
        return fail(host, errno);
    return true;
}

namespace {

// Shreds everything met in a folder's tree: files overwritten and removed, links and other special
// entries removed, folders removed once empty; mounts, protected entries and hard-linked files are
// left where they are and named.
struct ShredVisitor {
    bool enter(const Ident& e, const Ident& folder, const Path& path) {
        if (crossesMount(e, folder))
            return engineFail(path(), kMountReason, true);
        if (guard->checkEntry(e.id) != platform::Protection::None)
            return engineFail(path(), kProtectedReason, true);
        return true;
    }
    bool entry(int dirFd, const std::string& name, const Ident& e, const Ident& folder, const Path& path) {
        if (crossesMount(e, folder))
            return engineFail(path(), kMountReason, true);
        if (guard->checkEntry(e.id) != platform::Protection::None)
            return engineFail(path(), kProtectedReason, true);
        if (S_ISREG(e.mode)) {
            const std::string host = path();
            setCurrent(host);
            return shredFile(dirFd, name, host, e);
        }
        // A link, pipe, socket or device: removed, never opened or followed.
        if (::unlinkat(dirFd, name.c_str(), 0) != 0 && errno != ENOENT)
            return error(path(), errno);
        return true;
    }
    bool leave(int parentFd, const std::string& name, bool ok, const Path& path) {
        if (!ok || stop())
            return false;
        if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0)
            return error(path(), errno);
        return true;
    }
    bool stop() const { return cancelled(); }
    bool changed(const std::string& path) { return engineFail(path, kChangedReason, true); }
    bool error(const std::string& path, int err) { return engineFail(path, std::strerror(err), false); }

    const platform::ProtectedSet* guard = nullptr;
    std::function<bool(const std::string&, const std::string&, bool)> engineFail;
    std::function<bool(int, const std::string&, const std::string&, const Ident&)> shredFile;
    std::function<void(const std::string&)> setCurrent;
    std::function<bool()> cancelled;
};

} // namespace

bool ShredEngine::run(const std::string& host, bool keepFolder) {
    setCurrent(host);
    const std::string name = platform::hostpath::nameOf(host);
    // The caller resolved the links of the path; one found now was put there since, and is not followed.
    UniqueFd parent(openFolderNoLinks(platform::hostpath::folderOf(host)));
    if (parent.get() < 0)
        return errno == ELOOP ? fail(host, kLinkInPathReason, true) : fail(host, errno);
    Ident item;
    Ident folder;
    if (name.empty() || name == "." || name == "..")
        return fail(host, EINVAL);
    if (!identify(parent.get(), name.c_str(), 0, item) || !identify(parent.get(), "", AT_EMPTY_PATH, folder))
        return fail(host, errno);
    // What was opened is checked, not the name it was asked for by.
    if (m_guard.check(parent.get(), item.id) != platform::Protection::None)
        return fail(host, kProtectedReason, true);
    if (keepFolder && !S_ISDIR(item.mode))
        return fail(host, ENOTDIR);
    // An emptied folder may itself be a mount (what is inside stays on it); a removed one may not.
    if (!keepFolder && crossesMount(item, folder))
        return fail(host, kMountReason, true);
    if (const auto& hook = hooks().afterCheck)
        hook(host);

    ShredVisitor visitor;
    visitor.guard = &m_guard;
    visitor.engineFail = [this](const std::string& p, const std::string& r, bool s) { return fail(p, r, s); };
    visitor.shredFile = [this](int dirFd, const std::string& n, const std::string& p, const Ident& e) {
        return shredFileAt(dirFd, n, p, e.id, e.links);
    };
    visitor.setCurrent = [this](const std::string& p) { setCurrent(p); };
    visitor.cancelled = [this] { return cancelled(); };

    bool ok = false;
    {
        const WritableWhile writable(parent.get());
        if (S_ISREG(item.mode)) {
            ok = shredFileAt(parent.get(), name, host, item.id, item.links);
        } else if (S_ISDIR(item.mode)) {
            UniqueFd dir(openAt(parent.get(), name, O_RDONLY | O_DIRECTORY, S_IFDIR, S_IRWXU));
            if (dir.get() < 0) {
                ok = fail(host, errno);
            } else if (platform::fileIdOf(dir.get()) != item.id) {
                ok = fail(host, kChangedReason, true);
            } else if (keepFolder) {
                const WritableWhile open(dir.get());
                ok = walkTree(dir.get(), item, host, true, visitor);
                ::fsync(dir.get());
            } else {
                // Writable while it is emptied; a folder that stays gets its permissions back.
                const WritableWhile open(dir.get());
                ok = walkTree(dir.get(), item, host, true, visitor) && !cancelled();
                ::fsync(dir.get());
                if (ok && ::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR) != 0)
                    ok = fail(host, errno);
            }
        } else if (::unlinkat(parent.get(), name.c_str(), 0) == 0) {
            ok = true;
        } else {
            ok = fail(host, errno);
        }
    }
    ::fsync(parent.get());
    setCurrent(std::string());
    struct stat there {};
    if (ok && !keepFolder && ::stat(platform::hostpath::folderOf(host).c_str(), &there) == 0 &&
        platform::FileId{static_cast<std::uint64_t>(there.st_dev), static_cast<std::uint64_t>(there.st_ino)} ==
            folder.id) {
        // A hidden item leaves its folder's ".hidden" list as well (while the path still leads there).
        try {
            platform::dropHiddenEntryHost(host);
        } catch (const std::exception&) {
        }
    }
    return ok;
}

bool ShredEngine::shred(const std::string& host) {
    if (cancelled())
        return false;
    return run(host, false);
}

bool ShredEngine::Nuke(const std::string& hostFolder) {
    if (cancelled())
        return false;
    return run(hostFolder, true);
}

} // namespace shredder
