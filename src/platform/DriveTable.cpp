#include "platform/DriveTable.h"

#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Text.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

constexpr const char* kDrivesKey = "SOFTWARE\\Orvane\\Tessaly_free\\Drives";

// "/a/b/" -> "/a/b"; "/" stays "/".
std::string trimSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

// Undoes the octal escapes (\040 for a blank, ...) of /proc/self/mountinfo.
std::string unescapeMount(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.find_first_not_of("01234567") == std::string::npos) {
                out.push_back(static_cast<char>(std::strtol(oct.c_str(), nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

// "/a//b/./c/../d/" -> "/a/b/d": repeated separators, "." and ".." resolved by the text alone,
// never above the root, so "C:\..\x" stays on drive C: as it does on Windows.
std::string normalized(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        auto slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += "/" + p;
    return out.empty() ? std::string("/") : out;
}

struct MountEntry {
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

std::vector<MountEntry> readMounts() {
    std::vector<MountEntry> out;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mountpoint options [optional fields] - fstype source superoptions
        std::istringstream ls(line);
        std::string id, parent, dev, root, mountPoint, options, field;
        if (!(ls >> id >> parent >> dev >> root >> mountPoint >> options))
            continue;
        while (ls >> field && field != "-") {
        }
        MountEntry e;
        if (!(ls >> e.fsType))
            continue;
        ls >> e.source;
        e.mountPoint = unescapeMount(mountPoint);
        e.source = unescapeMount(e.source);
        out.push_back(std::move(e));
    }
    return out;
}

bool isNetworkFs(const std::string& t) {
    return t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "fuse.sshfs";
}

bool under(const std::string& path, const std::string& folder) {
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

bool underRemovableRoot(const std::string& path) {
    return under(path, "/media") || under(path, "/run/media");
}

// The mount that holds hostFolder (the longest mount point that contains it).
const MountEntry* mountOf(const std::vector<MountEntry>& mounts, const std::string& hostFolder) {
    const MountEntry* best = nullptr;
    for (const auto& m : mounts) {
        if (m.mountPoint == hostFolder || under(hostFolder, m.mountPoint)) {
            // Later entries over the same point hide earlier ones.
            if (!best || m.mountPoint.size() >= best->mountPoint.size())
                best = &m;
        }
    }
    return best;
}

// True when the block device behind st_dev is marked removable in sysfs.
bool removableDevice(dev_t dev) {
    std::ostringstream p;
    p << "/sys/dev/block/" << major(dev) << ':' << minor(dev);
    char resolved[PATH_MAX];
    if (!realpath(p.str().c_str(), resolved))
        return false;
    std::string dir = resolved;
    // A partition's "removable" flag lives on its parent disk.
    for (int i = 0; i < 2; ++i) {
        std::ifstream f(dir + "/removable");
        int v = 0;
        if (f >> v)
            return v == 1;
        const auto slash = dir.rfind('/');
        if (slash == std::string::npos || slash == 0)
            break;
        dir.resize(slash);
    }
    return false;
}

} // namespace

const Drive* DriveTable::find(char letter) const {
    const char u = upperChar(letter);
    for (const auto& d : m_drives)
        if (d.letter == u)
            return &d;
    return nullptr;
}

DriveTable DriveTable::load(const Registry& registry) {
    std::vector<Drive> drives;
    drives.push_back(Drive{'C', "/", std::nullopt});
    char next = 'D';
    for (const auto& m : readMounts()) {
        const bool volume =
            under(m.mountPoint, "/media") || under(m.mountPoint, "/run/media") || under(m.mountPoint, "/mnt");
        if (!volume && !isNetworkFs(m.fsType))
            continue;
        bool seen = false;
        for (const auto& d : drives)
            seen = seen || d.hostFolder == m.mountPoint;
        if (seen || next > 'Z')
            continue;
        drives.push_back(Drive{next++, trimSlash(m.mountPoint), std::nullopt});
    }

    // The override: "C" = host folder, "C.Kind" = kind, for any letter.
    for (const auto& name : registry.valueNames(RegRoot::CurrentUser, kDrivesKey)) {
        if (name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0])))
            continue;
        RegValue v;
        if (registry.queryValue(RegRoot::CurrentUser, kDrivesKey, name, v) != kRegSuccess || v.type != REG_SZ)
            continue;
        std::string folder = v.data;
        while (!folder.empty() && folder.back() == '\0')
            folder.pop_back();
        if (folder.empty() || folder[0] != '/')
            continue;
        Drive d{upperChar(name[0]), trimSlash(folder), std::nullopt};
        RegValue k;
        if (registry.queryValue(RegRoot::CurrentUser, kDrivesKey, name + ".Kind", k) == kRegSuccess &&
            k.type == REG_DWORD && k.data.size() >= 4) {
            std::uint32_t n = 0;
            for (int i = 3; i >= 0; --i)
                n = (n << 8) | static_cast<unsigned char>(k.data[static_cast<std::size_t>(i)]);
            d.kindOverride = static_cast<int>(n);
        }
        bool replaced = false;
        for (auto& existing : drives) {
            if (existing.letter == d.letter) {
                existing = d;
                replaced = true;
            }
        }
        if (!replaced)
            drives.push_back(d);
    }
    return DriveTable(std::move(drives));
}

HostPath DriveTable::toHost(const WinPath& path) const {
    const std::string& windowsPath = path.str();
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || !std::isalpha(static_cast<unsigned char>(windowsPath[0])))
        throw SysError(ErrorKind::BadFileName);
    const Drive* d = find(windowsPath[0]);
    if (!d)
        throw SysError(ErrorKind::DeviceUnavailable);
    std::string rest = windowsPath.substr(2);
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    const std::string clean = normalized(rest);
    if (clean == "/")
        return HostPath(d->hostFolder);
    return HostPath(d->hostFolder == "/" ? clean : d->hostFolder + clean);
}

WinPath DriveTable::toWindows(const HostPath& host) const {
    const std::string& hostPath = host.str();
    // A "\" in a host name would read back as a folder separator: such a path has no Windows form.
    if (hostPath.empty() || hostPath.find('\\') != std::string::npos)
        return WinPath();
    std::string path = hostPath;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return WinPath();
        path = trimSlash(cwd) + "/" + path;
    }
    path = normalized(path);
    const Drive* best = nullptr;
    for (const auto& d : m_drives) {
        if (d.hostFolder == path || under(path, d.hostFolder)) {
            if (!best || d.hostFolder.size() > best->hostFolder.size())
                best = &d;
        }
    }
    if (!best)
        return WinPath();
    std::string rest =
        best->hostFolder == "/" ? path.substr(1) : path.substr(std::min(path.size(), best->hostFolder.size() + 1));
    for (char& c : rest)
        if (c == '/')
            c = '\\';
    return WinPath(std::string(1, best->letter) + ":\\" + rest);
}

std::string DriveTable::toHost(const std::string& windowsPath) const {
    return toHost(WinPath(windowsPath)).str();
}

std::string DriveTable::toWindows(const std::string& hostPath) const {
    return toWindows(HostPath(hostPath)).str();
}

int DriveTable::kind(const std::string& root) const {
    if (root.empty())
        return DriveNoRoot;
    const Drive* d = find(root[0]);
    if (!d)
        return DriveNoRoot;
    struct stat st {};
    if (::stat(d->hostFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return DriveNoRoot;
    if (d->kindOverride)
        return *d->kindOverride;
    return hostFolderKind(d->hostFolder);
}

int hostFolderKind(const std::string& hostFolder) {
    struct stat st {};
    if (::stat(hostFolder.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? DriveNoRoot : DriveUnknown;
    if (!S_ISDIR(st.st_mode))
        return DriveNoRoot;
    char resolved[PATH_MAX];
    const std::string real = realpath(hostFolder.c_str(), resolved) ? std::string(resolved) : trimSlash(hostFolder);
    const auto mounts = readMounts();
    const MountEntry* m = mountOf(mounts, real);
    std::string type = m ? m->fsType : std::string();
    if (type.empty()) {
        struct statfs sf {};
        if (::statfs(real.c_str(), &sf) != 0)
            return DriveUnknown;
        switch (static_cast<unsigned long>(sf.f_type)) {
        case 0x01021994UL: // tmpfs
        case 0x858458f6UL: // ramfs
            return DriveRamDisk;
        case 0x6969UL:     // nfs
        case 0xFF534D42UL: // cifs
        case 0xFE534D42UL: // smb2/3
            return DriveRemote;
        case 0x9660UL:     // iso9660
        case 0x15013346UL: // udf
            return DriveCdRom;
        default:
            return DriveFixed;
        }
    }
    if (type == "tmpfs" || type == "ramfs")
        return DriveRamDisk;
    if (isNetworkFs(type))
        return DriveRemote;
    if (type == "iso9660" || type == "udf")
        return DriveCdRom;
    if (underRemovableRoot(m->mountPoint) || removableDevice(st.st_dev))
        return DriveRemovable;
    return DriveFixed;
}

} // namespace platform
