#include "platform/Environment.h"

#include "platform/DriveTable.h"
#include "platform/PrivateFiles.h"
#include "platform/Registry.h"
#include "platform/SysError.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::mutex g_mutex;
std::unique_ptr<Registry> g_registry;
std::unique_ptr<DriveTable> g_drives;

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    throw SysError(ErrorKind::PathNotFound, errorDescription(ErrorKind::PathNotFound),
                   "HOME is not set: there is no folder of the user's own for the data");
}

// An XDG base folder: the variable when it holds an absolute path, else the default under HOME.
std::string xdgFolder(const char* variable, const char* defaultUnderHome) {
    const char* v = std::getenv(variable);
    if (v && v[0] == '/')
        return v;
    return homeFolder() + "/" + defaultUnderHome;
}

// The program's folders are private (0700) whatever the umask.
std::string ensured(const std::string& folder) {
    try {
        MakePrivateFolder(folder);
    } catch (const SysError&) {
        // Left to the use of the folder to fail and say why.
    }
    return folder;
}

std::string dataFolder() {
    return xdgFolder("XDG_DATA_HOME", ".local/share") + "/tessaly";
}

} // namespace

Registry& registry() {
    std::lock_guard lock(g_mutex);
    if (!g_registry) {
        ensured(dataFolder());
        g_registry = std::make_unique<Registry>(registryFileHost());
    }
    return *g_registry;
}

const DriveTable& drives() {
    Registry& reg = registry();
    std::lock_guard lock(g_mutex);
    if (!g_drives)
        g_drives = std::make_unique<DriveTable>(DriveTable::load(reg));
    return *g_drives;
}

void reloadDrives() {
    Registry& reg = registry();
    DriveTable fresh = DriveTable::load(reg);
    std::lock_guard lock(g_mutex);
    // The same object is refilled, so references handed out earlier stay valid.
    if (g_drives)
        *g_drives = std::move(fresh);
    else
        g_drives = std::make_unique<DriveTable>(std::move(fresh));
}

void resetEnvironment() {
    std::lock_guard lock(g_mutex);
    g_drives.reset();
    g_registry.reset();
}

HostPath toHost(const WinPath& path) {
    return drives().toHost(path);
}
WinPath toWindows(const HostPath& path) {
    return drives().toWindows(path);
}
std::string toHost(const std::string& windowsPath) {
    return drives().toHost(windowsPath);
}
std::string toWindows(const std::string& hostPath) {
    return drives().toWindows(hostPath);
}

std::string windowsFolderHost() {
    ensured(dataFolder());
    return ensured(dataFolder() + "/Windows");
}
std::string systemFolderHost() {
    ensured(dataFolder());
    ensured(dataFolder() + "/Windows");
    return ensured(dataFolder() + "/Windows/System32");
}
std::string favoritesFolderHost() {
    ensured(dataFolder());
    return ensured(dataFolder() + "/Favorites");
}
std::string logFolderHost() {
    return ensured(xdgFolder("XDG_STATE_HOME", ".local/state") + "/tessaly");
}

std::string applicationFolderHost() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path(ec).string();
    return exe.parent_path().string();
}

std::string registryFileHost() {
    return dataFolder() + "/registry.sqlite3";
}

std::string dataFolderHost() {
    return dataFolder();
}

std::string configFolderHost() {
    return xdgFolder("XDG_CONFIG_HOME", ".config") + "/tessaly";
}

} // namespace platform
