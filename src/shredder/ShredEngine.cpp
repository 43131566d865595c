#include "shredder/ShredEngine.h"

#include "platform/Attributes.h"
#include "platform/HostPath.h"
#include "platform/Overwrite.h"
#include "platform/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

namespace shredder {

// What the engine does when it must widen permissions for a moment: each widening is written down
// before it is made (LoosenedModes), and undone when the entry stays, or noted as gone with it.
struct Widening {
    std::function<bool(int fd, const std::string& host, mode_t add, mode_t& before)> widen;
    std::function<void(int fd, mode_t before)> restore;
    std::function<void(int fd)> gone;
};

namespace {

// Folders of a walk that keep their descriptor open; deeper ones are closed and found again
// through ".." (checked by identity) when the walk comes back up.
constexpr std::size_t kOpenLevels = 64;

void appendRun(std::string& out, int n, const std::string& unit) {
    for (int i = 0; i < n; ++i)
        out += unit;
}

const std::string kTen("\x0A\x00\x00\x00", 4);

using platform::UniqueFd;

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

// An entry's permissions widened while it is worked on; undone (or noted as gone) by its owner.
struct Widened {
    bool done = false;
    mode_t before = 0;
};

// Opens an entry without following a link. Refused for want of permission, the entry (when it is of
// the kind `type`) gets the owner's `bits` through `widening` and is opened again: a read-only file,
// a locked-down folder inside the tree. The widening is reported in `widened`.
int openAt(int dirFd, const std::string& name, int flags, mode_t type, mode_t bits, const Widening& widening,
           const std::function<std::string()>& host, Widened& widened) {
    int fd = ::openat(dirFd, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES || !widening.widen)
        return fd;
    // Widened is exactly the entry looked at: through a descriptor of it, not its name.
    UniqueFd entry(::openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (entry.get() < 0 || ::fstat(entry.get(), &st) != 0 || (st.st_mode & S_IFMT) != type) {
        errno = EACCES;
        return -1;
    }
    if (!widening.widen(entry.get(), host(), bits, widened.before))
        return -1; // not widened: the reason is the journal's, or still the permission

    fd = ::openat(dirFd, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    const int err = errno;
    if (fd < 0 || platform::fileIdOf(fd) != platform::fileIdOf(entry.get())) {
        widening.restore(entry.get(), widened.before);
        errno = err;
        return fd;
    }
    widened.done = true;
    return fd;
}

// Entries can be removed from a folder only with write and search permission on it: a folder that
// lacks them for this process is given them while the work in it goes on (written down first), and
// its own permissions come back when the work is done.
class WritableWhile final {
public:
    WritableWhile(int dirFd, const std::string& host, const Widening& widening) : m_fd(dirFd), m_widening(widening) {
        if (::faccessat(dirFd, ".", W_OK | X_OK, AT_EACCESS) == 0 || errno != EACCES || !widening.widen)
            return;
        m_changed = widening.widen(dirFd, host, S_IRWXU, m_before);
    }
    ~WritableWhile() {
        if (m_changed)
            m_widening.restore(m_fd, m_before);
    }
    WritableWhile(const WritableWhile&) = delete;
    WritableWhile& operator=(const WritableWhile&) = delete;

private:
    int m_fd;
    const Widening& m_widening;
    mode_t m_before = 0;
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
    std::uint64_t allocated = 0; // bytes of disk it holds
};

bool identify(int dirFd, const char* name, int flags, Ident& out) {
    struct statx sx {};
    if (::statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                STATX_TYPE | STATX_MODE | STATX_INO | STATX_NLINK | STATX_SIZE | STATX_BLOCKS | STATX_MNT_ID,
                &sx) != 0)
        return false;
    out.id = platform::FileId{static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor)), sx.stx_ino};
    out.mount = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : 0;
    out.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    out.mode = sx.stx_mode;
    out.links = sx.stx_nlink;
    out.size = sx.stx_size;
    out.allocated = (sx.stx_mask & STATX_BLOCKS) ? sx.stx_blocks * 512 : sx.stx_size;
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
//   const Widening& widening()                                                 — how to widen permissions
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
            Widened widened;
            const int sub = openAt(level.fd, name, O_RDONLY | O_DIRECTORY, S_IFDIR, S_IRWXU, v.widening(),
                                   [&] { return pathTo(name); }, widened);
            if (sub < 0) {
                level.ok = v.error(pathTo(name), errno);
                continue;
            }
            if (platform::fileIdOf(sub) != e.id) {
                if (widened.done)
                    v.widening().restore(sub, widened.before);
                ::close(sub);
                level.ok = v.changed(pathTo(name));
                continue;
            }
            WalkLevel child{sub, e, name, {}, 0, true, false, widened.done ? static_cast<int>(widened.before) : -1};
            // Its entries go only with write and search permission on it.
            mode_t before = 0;
            if (makeWritableInside && child.loosenedFrom < 0 && ::faccessat(sub, ".", W_OK | X_OK, AT_EACCESS) != 0 &&
                errno == EACCES && v.widening().widen(sub, pathTo(name), S_IRWXU, before))
                child.loosenedFrom = static_cast<int>(before);
            if (!listNames(sub, child.names)) {
                const int err = errno;
                if (child.loosenedFrom >= 0)
                    v.widening().restore(sub, static_cast<mode_t>(child.loosenedFrom));
                ::close(sub);
                level.ok = v.error(pathTo(name), err);
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
        // permissions back; one that went is noted as gone.
        const bool stays = !child.ok || v.stop();
        if (child.loosenedFrom >= 0 && stays)
            v.widening().restore(child.fd, static_cast<mode_t>(child.loosenedFrom));
        const bool left = v.leave(parent.fd, child.name, child.ok, Path{&pathTo, &child.name});
        if (child.loosenedFrom >= 0 && !stays) {
            if (left)
                v.widening().gone(child.fd);
            else
                v.widening().restore(child.fd, static_cast<mode_t>(child.loosenedFrom));
        }
        ::close(child.fd);
        parent.ok = left && parent.ok;
    }
    for (std::size_t i = 1; i < stack.size(); ++i) {
        if (stack[i].fd < 0)
            continue; // a widened folder closed deep in the walk is left to the journal's replay
        if (stack[i].loosenedFrom >= 0)
            v.widening().restore(stack[i].fd, static_cast<mode_t>(stack[i].loosenedFrom));
        ::close(stack[i].fd);
    }
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

// The bytes the passes will write over a file: its allocated data (a sparse file's holes are not
// written), at least the start runs.
std::uint64_t dataBytes(const Ident& e, std::uint64_t minimum) {
    if (e.size < minimum)
        return minimum;
    return std::min(e.size, e.allocated);
}

// Adds up what the passes will write, without touching anything.
struct CountVisitor {
    std::uint64_t perFile(const Ident& e) const { return dataBytes(e, start) * passes; }
    bool enter(const Ident& e, const Ident& folder, const Path&) { return !crossesMount(e, folder); }
    bool entry(int, const std::string&, const Ident& e, const Ident& folder, const Path&) {
        if (S_ISREG(e.mode) && e.links <= 1 && !crossesMount(e, folder))
            total += perFile(e);
        return true;
    }
    bool leave(int, const std::string&, bool, const Path&) { return true; }
    bool stop() const { return false; }
    bool changed(const std::string&) { return false; }
    bool error(const std::string&, int) { return false; }
    const Widening& widening() const { return none; } // counting changes no permission
    std::uint64_t start = 0;
    std::uint64_t passes = 1;
    std::uint64_t total = 0;
    Widening none;
};

// Lets this process hold as many descriptors as it may: a run pins the folder of every item first.
void raiseDescriptorLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

struct ShredEngine::Pinned {
    std::string host;
    std::string name;
    bool keepFolder = false;
    std::shared_ptr<UniqueFd> parent; // the folder holding the item, opened with no link in its path
    Ident item;                       // the item as it was checked
    Ident folder;                     // its folder as it was opened
};

platform::FileId ShredEngine::idOf(const Pin& item) {
    return item ? item->item.id : platform::FileId{};
}

bool ShredEngine::gone(const Pin& item) {
    Ident now;
    return item && !identify(item->parent->get(), item->name.c_str(), 0, now) && errno == ENOENT;
}

std::shared_ptr<const ShredEngine::Pinned> ShredEngine::pinQuietly(const std::string& host, bool keepFolder,
                                                                   Failure& why) const {
    why = Failure{host, std::string(), false};
    auto p = std::make_shared<Pinned>();
    p->host = host;
    p->name = platform::hostpath::nameOf(host);
    p->keepFolder = keepFolder;
    if (p->name.empty() || p->name == "." || p->name == "..") {
        why.reason = std::strerror(EINVAL);
        return nullptr;
    }
    // The caller resolved the links of the path; one found now was put there since, and is not followed.
    int fd = openFolderNoLinks(platform::hostpath::folderOf(host));
    if (fd < 0 && errno == EMFILE) {
        raiseDescriptorLimit();
        fd = openFolderNoLinks(platform::hostpath::folderOf(host));
    }
    if (fd < 0) {
        if (errno == ELOOP)
            why = Failure{host, kLinkInPathReason, true};
        else
            why.reason = std::strerror(errno);
        return nullptr;
    }
    p->parent = std::make_shared<UniqueFd>(fd);
    if (!identify(fd, p->name.c_str(), 0, p->item) || !identify(fd, "", AT_EMPTY_PATH, p->folder)) {
        why.reason = std::strerror(errno);
        return nullptr;
    }
    // What was opened is checked, not the name it was asked for by.
    if (m_guard.check(fd, p->item.id) != platform::Protection::None) {
        why = Failure{host, kProtectedReason, true};
        return nullptr;
    }
    if (keepFolder && !S_ISDIR(p->item.mode)) {
        why.reason = std::strerror(ENOTDIR);
        return nullptr;
    }
    // An emptied folder may itself be a mount (what is inside stays on it); a removed one may not.
    if (!keepFolder && crossesMount(p->item, p->folder)) {
        why = Failure{host, kMountReason, true};
        return nullptr;
    }
    return p;
}

ShredEngine::Pin ShredEngine::pin(const std::string& host, bool keepFolder) {
    Failure why;
    auto p = pinQuietly(host, keepFolder, why);
    if (!p) {
        m_failures.push_back(why);
        return nullptr;
    }
    // Items of one folder share its descriptor: a list of thousands of files holds a few.
    auto& shared = m_folders[p->folder.id];
    if (auto held = shared.lock()) {
        auto copy = std::make_shared<Pinned>(*p);
        copy->parent = held;
        return copy;
    }
    shared = p->parent;
    return p;
}

std::uint64_t ShredEngine::bytesToWrite(const Pin& p) const {
    if (!p)
        return 0;
    CountVisitor count;
    count.start = m_start.size();
    count.passes = static_cast<std::uint64_t>(PassCount(m_level));
    if (S_ISREG(p->item.mode))
        return p->item.links <= 1 ? count.perFile(p->item) : 0;
    if (!S_ISDIR(p->item.mode))
        return 0;
    UniqueFd dir(::openat(p->parent->get(), p->name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0 || platform::fileIdOf(dir.get()) != p->item.id)
        return 0;
    walkTree(dir.get(), p->item, p->host, false, count);
    return count.total;
}

std::uint64_t ShredEngine::bytesToWrite(const std::string& host) const {
    Failure why;
    return bytesToWrite(pinQuietly(host, false, why));
}

Widening ShredEngine::widening() {
    Widening w;
    w.widen = [this](int fd, const std::string& host, mode_t add, mode_t& before) {
        if (!m_loosened)
            m_loosened = std::make_unique<LoosenedModes>();
        if (!m_loosened->widen(fd, host, add, before))
            return false;
        if (const auto& hook = hooks().afterWiden)
            hook(host);
        return true;
    };
    w.restore = [this](int fd, mode_t before) {
        if (m_loosened)
            m_loosened->restore(fd, before);
    };
    w.gone = [this](int fd) {
        if (m_loosened)
            m_loosened->gone(fd);
    };
    return w;
}

bool ShredEngine::shredFileAt(int dirFd, const std::string& name, const std::string& host, platform::FileId id,
                              std::uint64_t links, const Widening& widening) {
    // Content that other names still show is not this item's to destroy.
    if (links > 1)
        return fail(host, kHardLinksReason, true);
    // A read-only file: its owner may write it again, as clearing its attributes does (for as long
    // as it is worked on: it gets its mode back when it stays).
    Widened widened;
    const int raw =
        openAt(dirFd, name, O_WRONLY | O_NONBLOCK, S_IFREG, S_IWUSR, widening, [&] { return host; }, widened);
    if (raw < 0)
        return fail(host, errno);
    UniqueFd file(raw);
    struct PutBack {
        const Widening& widening;
        Widened& widened;
        int fd;
        ~PutBack() {
            if (widened.done)
                widening.restore(fd, widened.before);
        }
    } putBack{widening, widened, file.get()};
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        return fail(host, errno);
    if (!S_ISREG(st.st_mode) || platform::fileIdOf(file.get()) != id)
        return fail(host, kChangedReason, true);
    if (st.st_nlink > 1)
        return fail(host, kHardLinksReason, true);

    // Only the blocks the file holds: writing its holes would fill the disk with nothing of it.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extents;
    if (!platform::dataExtents(file.get(), static_cast<std::uint64_t>(st.st_size), m_start.size(), extents))
        return fail(host, errno);
    const auto count = [this](std::uint64_t n) { m_written.fetch_add(n, std::memory_order_relaxed); };
    for (int pass = 0; pass < PassCount(m_level); ++pass) {
        // Pass 1: the start runs, then zeros; pass 2: random bytes; pass 3: ones.
        platform::OverwritePass how;
        if (pass == 0)
            how.head = m_start;
        how.random = pass == 1;
        how.fill = pass == 2 ? '\xFF' : '\0';
        if (!platform::overwritePass(file.get(), extents, how, count))
            return fail(host, errno);
    }

    // The old name is overwritten in the folder's blocks too: a random name of its length takes its
    // place, then ever shorter ones down to one character; the folder is synced before the name goes.
    std::string current = name;
    bool renaming = true;
    for (std::size_t length = name.size(); renaming && length >= 1; --length) {
        for (int attempt = 0; attempt < 16; ++attempt) {
            const std::string candidate = platform::randomName(length);
            if (::renameat2(dirFd, current.c_str(), dirFd, candidate.c_str(), RENAME_NOREPLACE) == 0) {
                current = candidate;
                break;
            }
            if (errno != EEXIST) {
                renaming = false; // the folder refuses renames: the file is still removed
                break;
            }
        }
    }
    if (current != name)
        ::fsync(dirFd);
    // The name removed must still be the file that was overwritten.
    Ident now;
    if (!identify(dirFd, current.c_str(), 0, now) || now.id != id)
        return fail(host, kChangedReason, true);
    if (const auto& hook = hooks().beforeRemove)
        hook(dirFd, current, host);
    // The names the file has are looked at through the descriptor held, before and after its name
    // goes: a name it gained while it was shredded keeps it on the disk.
    struct stat before {};
    if (::fstat(file.get(), &before) != 0)
        return fail(host, errno);
    if (::unlinkat(dirFd, current.c_str(), 0) != 0)
        return fail(host, errno);
    struct stat after {};
    const bool stays = before.st_nlink > 1 || (::fstat(file.get(), &after) == 0 && after.st_nlink > 0);
    if (stays)
        return fail(host, kLinkGainedReason, true);
    if (widened.done) {
        widening.gone(file.get());
        widened.done = false;
    }
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
    const Widening& widening() const { return *widen; }

    const platform::ProtectedSet* guard = nullptr;
    const Widening* widen = nullptr;
    std::function<bool(const std::string&, const std::string&, bool)> engineFail;
    std::function<bool(int, const std::string&, const std::string&, const Ident&)> shredFile;
    std::function<void(const std::string&)> setCurrent;
    std::function<bool()> cancelled;
};

} // namespace

bool ShredEngine::stillThere(const Pinned& p) {
    // The path must still lead to the folder and the item that were pinned: a folder swapped for a
    // link, or moved, since the run began leaves the item alone (and what the path leads to now).
    Ident item;
    if (!identify(p.parent->get(), p.name.c_str(), 0, item))
        return fail(p.host, errno); // gone from its folder (an earlier item held it, or it was removed)
    if (item.id != p.item.id)
        return fail(p.host, kMovedReason, true);
    UniqueFd now(openFolderNoLinks(platform::hostpath::folderOf(p.host)));
    if (now.get() < 0) {
        if (errno == ELOOP)
            return fail(p.host, kLinkInPathReason, true);
        if (errno == ENOENT || errno == ENOTDIR)
            return fail(p.host, kMovedReason, true);
        return fail(p.host, errno);
    }
    if (platform::fileIdOf(now.get()) != p.folder.id)
        return fail(p.host, kMovedReason, true);
    return true;
}

bool ShredEngine::run(const Pinned& p) {
    const std::string& host = p.host;
    const std::string& name = p.name;
    setCurrent(host);
    if (!stillThere(p)) {
        setCurrent(std::string());
        return false;
    }
    if (const auto& hook = hooks().afterCheck)
        hook(host);
    const int parent = p.parent->get();
    const Widening widen = widening();

    ShredVisitor visitor;
    visitor.guard = &m_guard;
    visitor.widen = &widen;
    visitor.engineFail = [this](const std::string& path, const std::string& r, bool s) { return fail(path, r, s); };
    visitor.shredFile = [this, &widen](int dirFd, const std::string& n, const std::string& path, const Ident& e) {
        return shredFileAt(dirFd, n, path, e.id, e.links, widen);
    };
    visitor.setCurrent = [this](const std::string& path) { setCurrent(path); };
    visitor.cancelled = [this] { return cancelled(); };

    bool ok = false;
    {
        const WritableWhile writable(parent, platform::hostpath::folderOf(host), widen);
        if (S_ISREG(p.item.mode)) {
            ok = shredFileAt(parent, name, host, p.item.id, p.item.links, widen);
        } else if (S_ISDIR(p.item.mode)) {
            Widened widened;
            UniqueFd dir(openAt(parent, name, O_RDONLY | O_DIRECTORY, S_IFDIR, S_IRWXU, widen, [&] { return host; },
                                widened));
            bool removed = false;
            if (dir.get() < 0) {
                ok = fail(host, errno);
            } else if (platform::fileIdOf(dir.get()) != p.item.id) {
                ok = fail(host, kChangedReason, true);
            } else {
                // Writable while it is emptied; a folder that stays gets its permissions back.
                const WritableWhile open(dir.get(), host, widen);
                ok = walkTree(dir.get(), p.item, host, true, visitor) && !cancelled();
                ::fsync(dir.get());
                if (ok && !p.keepFolder) {
                    removed = ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
                    if (!removed)
                        ok = fail(host, errno);
                }
            }
            if (widened.done) {
                if (removed)
                    widen.gone(dir.get());
                else
                    widen.restore(dir.get(), widened.before);
            }
        } else if (::unlinkat(parent, name.c_str(), 0) == 0) {
            ok = true;
        } else {
            ok = fail(host, errno);
        }
    }
    ::fsync(parent);
    setCurrent(std::string());
    struct stat there {};
    if (ok && !p.keepFolder && ::stat(platform::hostpath::folderOf(host).c_str(), &there) == 0 &&
        platform::FileId{static_cast<std::uint64_t>(there.st_dev), static_cast<std::uint64_t>(there.st_ino)} ==
            p.folder.id) {
        // A hidden item leaves its folder's ".hidden" list as well (while the path still leads there).
        try {
            platform::dropHiddenEntryHost(platform::HostPath(host));
        } catch (const std::exception&) {
            // The item is shredded; a stale line in .hidden names nothing and hides nothing.
        }
    }
    return ok;
}

bool ShredEngine::shred(const Pin& item) {
    if (cancelled() || !item)
        return false;
    return run(*item);
}

bool ShredEngine::shred(const std::string& host) {
    if (cancelled())
        return false;
    const Pin item = pin(host, false);
    return item && run(*item);
}

bool ShredEngine::Nuke(const std::string& hostFolder) {
    if (cancelled())
        return false;
    const Pin item = pin(hostFolder, true);
    return item && run(*item);
}

} // namespace shredder
