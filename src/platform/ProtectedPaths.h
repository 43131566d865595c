#pragma once
// The folders no delete may take: drive roots, the home folder, the program's data folders (the
// Windows folder with System32, the favourites, the registry, the log), and any folder that holds
// one of them. The shredder also keeps away from the program's own folder and the operating system's
// folders. Every check works on the entry the path points at after ".", ".." and links in its folders
// are resolved; a final link is the link itself (deleting it never follows it).

#include <string>

namespace platform {

// The entry a host path points at: made absolute, its folders resolved (".", "..", links), its last
// name kept as it is unless it is "." or "..". A missing tail is normalised as text.
std::string pointedEntryHost(const std::string& host);

enum class Protection {
    None,
    DriveRoot,     // "/" or a drive's folder
    Home,          // $HOME
    DataFolder,    // the program's data folders, or something inside them
    ProgramFolder, // the executable's folder, or something inside it
    SystemFolder,  // /usr, /etc, ... and what lies in them
};

// Why a plain delete must refuse the entry (drive root, home, data folder or a folder holding one
// of them): None when it may go. `entryHost` is a pointedEntryHost() result.
Protection deleteProtection(const std::string& entryHost);
// The same plus the program's folder and the system's folders, for the shredder.
Protection shredProtection(const std::string& entryHost);

// Windows-form conveniences: a path that cannot be mapped counts as protected (DriveRoot).
Protection deleteProtectionOf(const std::string& windowsPath);
Protection shredProtectionOf(const std::string& windowsPath);

} // namespace platform
