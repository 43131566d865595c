#include "platform/ProtectedPaths.h"

#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/HostPath.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string withoutTrailingSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

// Fully resolved (every link followed); a missing tail is normalised as text.
std::string resolved(const std::string& host) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(host, ec), ec);
    if (ec)
        p = fs::absolute(host).lexically_normal();
    return withoutTrailingSlash(p.string());
}

// True when `inner` is `outer` or lies inside it.
bool within(const std::string& inner, const std::string& outer) {
    if (outer.empty() || inner.empty())
        return false;
    if (inner == outer || outer == "/")
        return true;
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
}

// `a` is `b`, lies inside it, or holds it.
bool related(const std::string& a, const std::string& b) {
    return within(a, b) || within(b, a);
}

std::vector<std::string> driveRoots() {
    std::vector<std::string> roots{"/"};
    try {
        for (const auto& d : drives().drives())
            roots.push_back(resolved(d.hostFolder));
    } catch (const std::exception&) {
        // The root folder alone still protects the system; drives that cannot be listed hold nothing to shred.
    }
    return roots;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? resolved(home) : std::string();
}

// The config folder of the program ($XDG_CONFIG_HOME/tessaly).
std::string configFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return resolved(std::string(config) + "/tessaly");
    const std::string home = homeFolder();
    return home.empty() ? std::string() : resolved(home + "/.config/tessaly");
}

std::vector<std::string> dataFolders() {
    std::vector<std::string> folders;
    try {
        // The data folder holds the registry, the Windows folder with System32 and the favourites.
        folders.push_back(resolved(hostpath::folderOf(registryFileHost())));
        folders.push_back(resolved(windowsFolderHost()));
        folders.push_back(resolved(systemFolderHost()));
        folders.push_back(resolved(favoritesFolderHost()));
        folders.push_back(resolved(logFolderHost()));
    } catch (const std::exception&) {
        // A data folder that cannot be named cannot be reached by a shred either.
    }
    try {
        if (const std::string config = configFolder(); !config.empty())
            folders.push_back(config);
    } catch (const std::exception&) {
        // No configuration folder: nothing more to protect.
    }
    return folders;
}

// The operating system's own top-level folders ("/lib*" covers /lib, /lib32, /lib64, /libx32).
bool isSystemTop(const std::string& name) {
    static const char* const kTops[] = {"usr", "etc", "bin", "sbin", "boot", "opt", "proc", "sys", "dev", "var", "run"};
    for (const char* t : kTops)
        if (name == t)
            return true;
    return name.compare(0, 3, "lib") == 0;
}

// Every user's home folder from the password database, resolved; folders that do not exist, and the
// homes of system accounts inside the system's own folders (which stay protected as those), left out.
std::vector<std::string> userHomes() {
    static std::mutex mutex; // getpwent() walks one database position for the whole process
    const std::lock_guard<std::mutex> hold(mutex);
    std::vector<std::string> homes;
    ::setpwent();
    while (const passwd* pw = ::getpwent()) {
        std::error_code ec;
        if (!pw->pw_dir || *pw->pw_dir != '/' || !fs::is_directory(pw->pw_dir, ec))
            continue;
        const std::string home = resolved(pw->pw_dir);
        const std::string top =
            home.substr(1, home.find('/', 1) == std::string::npos ? std::string::npos : home.find('/', 1) - 1);
        if (home != "/" && !isSystemTop(top))
            homes.push_back(home);
    }
    ::endpwent();
    return homes;
}

// Folders the system keeps for everyone: protected themselves, what lies inside is the user's.
const char* const kSharedFolders[] = {"/tmp", "/var/tmp", "/srv", "/home", "/root", "/mnt", "/media", "/run/media"};

bool inSystemFolder(const std::string& entry, const std::vector<std::string>& roots) {
    if (entry.size() < 2 || entry[0] != '/')
        return false;
    // What lies in the shared folders is anyone's; the folders themselves belong to the system.
    for (const char* shared : kSharedFolders)
        if (entry == shared)
            return true;
    const std::string top =
        entry.substr(1, entry.find('/', 1) == std::string::npos ? std::string::npos : entry.find('/', 1) - 1);
    if (!isSystemTop(top))
        return false;
    if (within(entry, "/var/tmp"))
        return false;
    // A volume the drive table lists (a stick under /run/media) is the user's, below its root.
    for (const auto& r : roots)
        if (r != "/" && within(entry, r) && entry != r)
            return false;
    return true;
}

// The protected places by path, read from the drive table, the environment and the password
// database.
struct Places {
    std::vector<std::string> roots;
    std::string home;
    std::vector<std::string> homes;
    std::vector<std::string> data;
    std::string program;
    // Folders already resolved while the snapshot lives (a batch's files mostly share one), with
    // the folder each one named then: a path that leads elsewhere now is resolved again.
    struct Resolved {
        std::string path;
        FileId id;
    };
    mutable std::map<std::string, Resolved> resolvedFolders;

    static Places read() {
        Places p;
        p.roots = driveRoots();
        p.home = homeFolder();
        p.homes = userHomes();
        p.data = dataFolders();
        try {
            p.program = resolved(applicationFolderHost());
        } catch (const std::exception&) {
            // The program's folder cannot be named: the other protections still stand.
        }
        return p;
    }
};

// The places of the innermost ProtectionSnapshot alive on this thread, if any.
thread_local const Places* t_places = nullptr;

template <typename Use> auto withPlaces(Use use) {
    if (t_places)
        return use(*t_places);
    const Places fresh = Places::read();
    return use(fresh);
}

Protection deleteProtectionIn(const Places& places, const std::string& entryHost) {
    if (entryHost.empty())
        return Protection::DriveRoot;
    for (const auto& r : places.roots)
        if (within(r, entryHost))
            return Protection::DriveRoot;
    if (!places.home.empty() && within(places.home, entryHost))
        return Protection::Home;
    for (const auto& h : places.homes)
        if (within(h, entryHost))
            return Protection::Home;
    for (const auto& d : places.data)
        if (within(d, entryHost))
            return Protection::DataFolder;
    return Protection::None;
}

Protection shredProtectionIn(const Places& places, const std::string& entryHost) {
    const Protection p = deleteProtectionIn(places, entryHost);
    if (p != Protection::None)
        return p;
    for (const auto& d : places.data)
        if (within(entryHost, d))
            return Protection::DataFolder;
    if (!places.program.empty() && related(entryHost, places.program))
        return Protection::ProgramFolder;
    if (inSystemFolder(entryHost, places.roots))
        return Protection::SystemFolder;
    return Protection::None;
}

} // namespace

std::string pointedEntryHost(const std::string& host) {
    if (host.empty())
        return std::string();
    std::error_code ec;
    fs::path p = fs::absolute(withoutTrailingSlash(host), ec);
    if (ec)
        return resolved(host);
    const std::string name = p.filename().string();
    if (name.empty() || name == "." || name == "..")
        return resolved(p.string());
    const std::string folder = p.parent_path().string();
    if (!t_places)
        return hostpath::join(resolved(folder), name);
    // One stat says whether the path still leads to the folder it led to (a link anywhere in it
    // changed, or a folder swapped, gives another one).
    struct stat st {};
    const FileId now = ::stat(folder.c_str(), &st) == 0
                           ? FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}
                           : FileId{};
    auto [it, added] = t_places->resolvedFolders.try_emplace(folder);
    if (added || now == FileId{} || it->second.id != now)
        it->second = {resolved(folder), now};
    return hostpath::join(it->second.path, name);
}

Protection deleteProtection(const std::string& entryHost) {
    return withPlaces([&](const Places& places) { return deleteProtectionIn(places, entryHost); });
}

Protection shredProtection(const std::string& entryHost) {
    return withPlaces([&](const Places& places) { return shredProtectionIn(places, entryHost); });
}

struct ProtectionSnapshot::Held {
    Places places;
};

ProtectionSnapshot::ProtectionSnapshot() {
    if (t_places)
        return; // an outer snapshot on this thread already holds the places
    m_held = std::make_unique<Held>(Held{Places::read()});
    t_places = &m_held->places;
}

ProtectionSnapshot::~ProtectionSnapshot() {
    if (m_held)
        t_places = nullptr;
}

// ---- By identity ---------------------------------------------------------------------------------

namespace {

FileId idOfPath(const std::string& host) {
    struct stat st {};
    if (host.empty() || ::stat(host.c_str(), &st) != 0)
        return FileId{};
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace

FileId fileIdOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return FileId{};
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

void ProtectedSet::addWhole(const std::string& host, Protection why, bool andHolders) {
    UniqueFd fd(host.empty() ? -1 : ::open(host.c_str(), O_PATH | O_CLOEXEC));
    if (fd.get() < 0)
        return;
    FileId id = fileIdOf(fd.get());
    m_whole.emplace(id, why);
    if (!andHolders)
        return;
    // Every folder above it, as the system goes up (through "..", across mounts to their parents).
    for (;;) {
        const int up = ::openat(fd.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (up < 0)
            return;
        fd.reset(up);
        const FileId above = fileIdOf(fd.get());
        if (above == id || above == FileId{})
            return; // the root is its own parent
        m_whole.emplace(above, why);
        id = above;
    }
}

ProtectedSet ProtectedSet::current() {
    ProtectedSet set;
    const std::vector<std::string> roots = driveRoots();
    for (const auto& r : roots) {
        set.addWhole(r, Protection::DriveRoot, true);
        if (r != "/")
            set.m_freeZones.insert(idOfPath(r));
    }
    if (const std::string home = homeFolder(); !home.empty())
        set.addWhole(home, Protection::Home, true);
    for (const auto& h : userHomes())
        set.addWhole(h, Protection::Home, true);
    for (const auto& d : dataFolders()) {
        set.addWhole(d, Protection::DataFolder, true);
        set.m_inside.emplace(idOfPath(d), Protection::DataFolder);
        // The stores themselves, so that one moved or linked elsewhere is still known.
        std::error_code ec;
        for (fs::directory_iterator it(d, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec))
                set.m_whole.emplace(idOfPath(it->path().string()), Protection::DataFolder);
    }
    try {
        const std::string program = resolved(applicationFolderHost());
        set.addWhole(program, Protection::ProgramFolder, true);
        set.m_inside.emplace(idOfPath(program), Protection::ProgramFolder);
    } catch (const std::exception&) {
        // The program's folder cannot be named: the other protections still stand.
    }
    std::error_code ec;
    for (fs::directory_iterator it("/", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isSystemTop(name) && it->is_directory(ec)) {
            set.addWhole("/" + name, Protection::SystemFolder, false);
            set.m_systemTops.insert(idOfPath("/" + name));
        }
    }
    for (const char* shared : kSharedFolders) {
        set.addWhole(shared, Protection::SystemFolder, false);
        if (std::string(shared) == "/tmp" || std::string(shared) == "/var/tmp")
            set.m_freeZones.insert(idOfPath(shared));
    }
    set.m_whole.erase(FileId{});
    set.m_inside.erase(FileId{});
    set.m_systemTops.erase(FileId{});
    set.m_freeZones.erase(FileId{});
    return set;
}

Protection ProtectedSet::checkEntry(const FileId& id) const {
    if (const auto it = m_whole.find(id); it != m_whole.end())
        return it->second;
    if (const auto it = m_inside.find(id); it != m_inside.end())
        return it->second;
    return Protection::None;
}

Protection ProtectedSet::check(int parentFd, const FileId& id) const {
    if (const Protection p = checkEntry(id); p != Protection::None)
        return p;
    // Up from the folder holding the entry: a data or program folder anywhere above refuses it; of
    // the system's folders and the shared ones, the nearest decides.
    UniqueFd fd(::openat(parentFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        return Protection::DriveRoot; // what cannot be checked is not touched
    bool systemDecided = false;
    Protection system = Protection::None;
    FileId here = fileIdOf(fd.get());
    for (;;) {
        if (here == FileId{})
            return Protection::DriveRoot;
        if (const auto it = m_inside.find(here); it != m_inside.end())
            return it->second;
        if (!systemDecided && m_freeZones.count(here)) {
            systemDecided = true;
        } else if (!systemDecided && m_systemTops.count(here)) {
            systemDecided = true;
            system = Protection::SystemFolder;
        }
        const int up = ::openat(fd.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (up < 0)
            return Protection::DriveRoot;
        fd.reset(up);
        const FileId above = fileIdOf(fd.get());
        if (above == here)
            break;
        here = above;
    }
    return system;
}

namespace {
template <typename Check> Protection ofWindows(const std::string& windowsPath, Check check) {
    try {
        return check(pointedEntryHost(toHost(windowsPath)));
    } catch (const std::exception&) {
        return Protection::DriveRoot;
    }
}
} // namespace

Protection deleteProtectionOf(const std::string& windowsPath) {
    return ofWindows(windowsPath, deleteProtection);
}

Protection shredProtectionOf(const std::string& windowsPath) {
    return ofWindows(windowsPath, shredProtection);
}

} // namespace platform
