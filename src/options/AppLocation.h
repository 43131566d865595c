#pragma once
// Where the running program lies: what the start-at-login value, the autostart entry and the
// browser toolbar button point at.

#include <string>

namespace options {

struct AppLocation {
    std::string folder;         // the application folder, Windows form ("C:\usr\bin"); "" when on no drive
    std::string baseName;       // the executable's name without extension ("tessaly")
    std::string hostExecutable; // the executable's host path ("/usr/bin/tessaly")
};

// The running executable. Throws platform::SysError when its folder lies on no drive.
AppLocation CurrentApplication();

// The application folder with a backslash, the base name and ".exe": "C:\usr\bin\tessaly.exe". A
// program on no drive is named by its real host path ("/opt/tessaly/tessaly").
std::string ExecutablePath(const AppLocation& app);
// The program's icon file beside it: "C:\usr\bin\icon.ico", or its host path for a program on no drive.
std::string IconPath(const AppLocation& app);
// The running executable, also when its folder lies on no drive (folder "").
AppLocation RunningApplication();

} // namespace options
