#pragma once
// Where the running program lies: what the start-at-login value, the autostart entry and the
// browser toolbar button point at.

#include <string>

namespace options {

struct AppLocation {
    std::string folder;         // the application folder, Windows form ("C:\usr\bin")
    std::string baseName;       // the executable's name without extension ("tessaly")
    std::string hostExecutable; // the executable's host path ("/usr/bin/tessaly")
};

// The running executable. Throws platform::SysError when its folder lies on no drive.
AppLocation CurrentApplication();

// The application folder with a backslash, the base name and ".exe": "C:\usr\bin\tessaly.exe".
std::string ExecutablePath(const AppLocation& app);

} // namespace options
