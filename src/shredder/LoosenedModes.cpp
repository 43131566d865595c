#include "shredder/LoosenedModes.h"

#include "platform/Environment.h"
#include "platform/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace shredder {

namespace {

using platform::UniqueFd;

std::string journalFolder() {
    try {
        return platform::logFolderHost() + "/shred-modes";
    } catch (const std::exception&) {
        return std::string();
    }
}

// Changes the mode of the entry open at `fd`; a path descriptor is changed through /proc.
int changeMode(int fd, mode_t mode) {
    if (::fchmod(fd, mode) == 0)
        return 0;
    if (errno != EBADF)
        return -1;
    return ::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(), mode);
}

bool writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t n = text.size();
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

struct Entry {
    mode_t before = 0;
    mode_t after = 0;
    std::string host;
};

// The entries of a journal still widened: "W dev ino before after length:path" lines not followed
// by "R dev ino" lines of the same entry.
std::map<std::pair<std::uint64_t, std::uint64_t>, Entry> openEntries(const std::string& text) {
    std::map<std::pair<std::uint64_t, std::uint64_t>, Entry> open;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break; // a line cut short by the kill
        unsigned long long dev = 0;
        unsigned long long ino = 0;
        unsigned before = 0;
        unsigned after = 0;
        unsigned long length = 0;
        int used = 0;
        const std::string head = text.substr(at, end - at);
        if (head.size() > 2 && head[0] == 'R' && std::sscanf(head.c_str(), "R %llu %llu", &dev, &ino) == 2) {
            open.erase({dev, ino});
            at = end + 1;
        } else if (head.size() > 2 && head[0] == 'W' &&
                   std::sscanf(head.c_str(), "W %llu %llu %o %o %lu:%n", &dev, &ino, &before, &after, &length, &used) ==
                       5 &&
                   used > 0) {
            // The path may hold line breaks: it is read by its length.
            const std::size_t pathAt = at + static_cast<std::size_t>(used);
            if (pathAt + length >= text.size() || text[pathAt + length] != '\n')
                break;
            open[{dev, ino}] =
                Entry{static_cast<mode_t>(before), static_cast<mode_t>(after), text.substr(pathAt, length)};
            at = pathAt + length + 1;
        } else {
            at = end + 1;
        }
    }
    return open;
}

} // namespace

LoosenedModes::~LoosenedModes() {
    if (m_fd < 0)
        return;
    if (m_open == 0)
        ::unlink(m_path.c_str());
    ::close(m_fd); // the lock goes with it: a journal left behind is replayed by the next run
}

bool LoosenedModes::openJournal() {
    if (m_fd >= 0)
        return true;
    const std::string folder = journalFolder();
    if (folder.empty()) {
        errno = ENOENT;
        return false;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    std::random_device seed;
    const std::string base = folder + "/" + std::to_string(::getpid()) + "-" + std::to_string(seed());
    // Made under a name the replay leaves alone, locked, and only then given its name: a replay never
    // sees a journal of a live engine unlocked.
    const std::string temporary = base + ".new";
    const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX) != 0 || ::rename(temporary.c_str(), (base + ".journal").c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        ::close(fd);
        errno = err;
        return false;
    }
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    m_path = base + ".journal";
    m_fd = fd; // kept open (and locked) until the engine ends
    return true;
}

void LoosenedModes::note(char kind, int fd, mode_t before, mode_t after, const std::string& host) {
    struct stat st {};
    if (m_fd < 0 || ::fstat(fd, &st) != 0)
        return;
    char head[128];
    if (kind == 'W')
        std::snprintf(head, sizeof head, "W %llu %llu %o %o %zu:", static_cast<unsigned long long>(st.st_dev),
                      static_cast<unsigned long long>(st.st_ino), static_cast<unsigned>(before),
                      static_cast<unsigned>(after), host.size());
    else
        std::snprintf(head, sizeof head, "R %llu %llu", static_cast<unsigned long long>(st.st_dev),
                      static_cast<unsigned long long>(st.st_ino));
    writeAll(m_fd, std::string(head) + host + "\n");
}

bool LoosenedModes::widen(int fd, const std::string& host, mode_t add, mode_t& before) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    before = st.st_mode & 07777;
    const mode_t after = before | add;
    if (after == before) {
        errno = EACCES; // it has these permissions already: widening cannot help
        return false;
    }
    // Written down and flushed before anything changes: a kill after the change finds it recorded.
    if (!openJournal())
        return false;
    struct stat journal {};
    const off_t size = ::fstat(m_fd, &journal) == 0 ? journal.st_size : 0;
    note('W', fd, before, after, host);
    if (::fdatasync(m_fd) != 0) {
        const int err = errno;
        if (::ftruncate(m_fd, size) != 0) {
        }
        errno = err;
        return false;
    }
    if (changeMode(fd, after) != 0) {
        const int err = errno;
        note('R', fd, 0, 0, std::string());
        errno = err;
        return false;
    }
    ++m_open;
    return true;
}

void LoosenedModes::restore(int fd, mode_t before) {
    if (changeMode(fd, before) == 0)
        gone(fd);
}

void LoosenedModes::gone(int fd) {
    note('R', fd, 0, 0, std::string());
    if (m_open > 0)
        --m_open;
}

std::size_t RestoreLoosenedModes() {
    const std::string folder = journalFolder();
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> names;
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".journal") == 0)
            names.push_back(name);
        else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0)
            names.push_back(name); // made by a run killed before it named it: empty
    }
    ::closedir(dir);
    std::size_t restored = 0;
    for (const auto& name : names) {
        const std::string path = folder + "/" + name;
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        // A journal some engine still holds is its own business.
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        std::string text;
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::read(fd.get(), buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        bool whole = true;
        for (const auto& [id, entry] : openEntries(text)) {
            UniqueFd entryFd(::open(entry.host.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
            struct stat st {};
            // Only the very entry, still as the run left it: a mode changed since is the user's.
            if (entryFd.get() < 0 || ::fstat(entryFd.get(), &st) != 0 ||
                static_cast<std::uint64_t>(st.st_dev) != id.first ||
                static_cast<std::uint64_t>(st.st_ino) != id.second || (st.st_mode & 07777) != entry.after)
                continue;
            if (changeMode(entryFd.get(), entry.before) == 0)
                ++restored;
            else
                whole = false;
        }
        if (whole)
            ::unlink(path.c_str());
    }
    return restored;
}

} // namespace shredder
