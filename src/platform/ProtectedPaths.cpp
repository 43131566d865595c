#include "platform/ProtectedPaths.h"

#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/HostPath.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
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
    }
    return roots;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? resolved(home) : std::string();
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

bool inSystemFolder(const std::string& entry, const std::vector<std::string>& roots) {
    if (entry.size() < 2 || entry[0] != '/')
        return false;
    // What lies in the temporary folders is anyone's; the folders themselves belong to the system.
    if (entry == "/tmp" || entry == "/var/tmp")
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
    const std::string parent = resolved(p.parent_path().string());
    return hostpath::join(parent, name);
}

Protection deleteProtection(const std::string& entryHost) {
    if (entryHost.empty())
        return Protection::DriveRoot;
    for (const auto& r : driveRoots())
        if (within(r, entryHost))
            return Protection::DriveRoot;
    const std::string home = homeFolder();
    if (!home.empty() && within(home, entryHost))
        return Protection::Home;
    for (const auto& d : dataFolders())
        if (within(d, entryHost))
            return Protection::DataFolder;
    return Protection::None;
}

Protection shredProtection(const std::string& entryHost) {
    const Protection p = deleteProtection(entryHost);
    if (p != Protection::None)
        return p;
    for (const auto& d : dataFolders())
        if (within(entryHost, d))
            return Protection::DataFolder;
    std::string program;
    try {
        program = resolved(applicationFolderHost());
    } catch (const std::exception&) {
    }
    if (!program.empty() && related(entryHost, program))
        return Protection::ProgramFolder;
    if (inSystemFolder(entryHost, driveRoots()))
        return Protection::SystemFolder;
    return Protection::None;
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
