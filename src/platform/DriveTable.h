#pragma once
// Drive letters mapped to host folders, each with a drive kind, and the mapping between the
// program's Windows-form paths ("C:\Docs\a.doc") and host paths ("/Docs/a.doc").
//
// Default: C: is "/"; D:, E:, ... are mounted volumes under /media, /run/media and /mnt and network
// mounts, in mount order. The registry key HKCU "SOFTWARE\Orvane\Tessaly_free\Drives" overrides it:
// value "C" (REG_SZ) = host folder, optional "C.Kind" (REG_DWORD) = the kind. Tests and benchmarks
// run the whole program inside a sandbox folder that way.

#include "platform/Paths.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

class Registry;

// Platform drive type codes.
enum DriveKind : int {
    DriveUnknown = 0,
    DriveNoRoot = 1,
    DriveRemovable = 2,
    DriveFixed = 3,
    DriveRemote = 4,
    DriveCdRom = 5,
    DriveRamDisk = 6,
};

struct Drive {
    char letter = 'C';             // upper case
    std::string hostFolder;        // absolute, no trailing "/" except for "/" itself
    std::optional<int> kindOverride;
};

class DriveTable final {
public:
    DriveTable() = default;
    explicit DriveTable(std::vector<Drive> drives) : m_drives(std::move(drives)) {}

    // The default table from the host's mounts, then the registry override applied.
    static DriveTable load(const Registry& registry);

    const std::vector<Drive>& drives() const { return m_drives; }
    const Drive* find(char letter) const; // any case

    // "C:\Docs\a.doc" -> hostFolder(C) + "/Docs/a.doc". Throws SysError 68 for an unknown drive,
    // 52 for a text that is not a drive path. "C:" and "C:\" give the drive's folder.
    HostPath toHost(const WinPath& path) const;
    // Host path -> Windows form through the drive with the longest matching folder ("" if none, and
    // for a path whose names hold a "\", which the Windows form would read as a separator).
    // Relative host paths are made absolute against the current directory first.
    WinPath toWindows(const HostPath& path) const;
    // The same for paths still held as plain text (callers not yet holding typed paths).
    std::string toHost(const std::string& windowsPath) const;
    std::string toWindows(const std::string& hostPath) const;
    void toHost(const HostPath&) const = delete;
    void toWindows(const WinPath&) const = delete;

    // The drive type code of the drive named by the first letter of `root` (1 for an unknown letter
    // or a folder that does not exist).
    int kind(const std::string& root) const;

private:
    std::vector<Drive> m_drives;
};

// The drive kind a host folder's filesystem gives: tmpfs/ramfs 6; nfs, cifs, smb3, fuse.sshfs 4;
// iso9660, udf 5; removable device or a mount under /media, /run/media 2; other 3; missing 1; unknown 0.
int hostFolderKind(const std::string& hostFolder);

} // namespace platform
