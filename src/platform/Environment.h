#pragma once
// The process-wide platform environment: the registry database, the drive table and the special
// folders, read from the XDG variables when first used. Tests point the XDG variables into a sandbox
// and call resetEnvironment() so the next use reads them afresh.

#include "platform/Paths.h"

#include <string>

namespace platform {

class Registry;
class DriveTable;

// The registry at $XDG_DATA_HOME/tessaly/registry.sqlite3 (default ~/.local/share/...).
Registry& registry();
// The drive table loaded from the host's mounts and the registry override.
const DriveTable& drives();
// Reloads the drive table (after the override in the registry changed).
void reloadDrives();
// Drops the cached registry and drive table; the next use reads the environment again.
void resetEnvironment();

// Shorthands over drives(): the one mapping between the two kinds of path.
HostPath toHost(const WinPath& path);
WinPath toWindows(const HostPath& path);
// The same for paths still held as plain text.
std::string toHost(const std::string& windowsPath);
std::string toWindows(const std::string& hostPath);
// A host path is not mapped to the host, nor a Windows path to the Windows form.
void toHost(const HostPath&) = delete;
void toWindows(const WinPath&) = delete;

// Special folders as host paths (created when missing, except the application folder):
std::string windowsFolderHost();     // $XDG_DATA_HOME/tessaly/Windows
std::string systemFolderHost();      // its System32
std::string favoritesFolderHost();   // $XDG_DATA_HOME/tessaly/Favorites
std::string logFolderHost();         // $XDG_STATE_HOME/tessaly
std::string applicationFolderHost(); // the executable's folder
std::string registryFileHost();      // $XDG_DATA_HOME/tessaly/registry.sqlite3
// The program's own folders (not created here): $XDG_DATA_HOME/tessaly, $XDG_CONFIG_HOME/tessaly.
// Every folder above throws SysError 76 when neither its XDG variable nor HOME is set: the program's
// data never goes to a shared folder.
std::string dataFolderHost();
std::string configFolderHost();

} // namespace platform
