#pragma once
// The marks of a locked folder that the folder commands set and the recovery sweep mends: the
// desktop.ini that names the shell's special-folder class, and the permission bits a lock keeps
// aside while the folder is private.

#include <string>

namespace core {

inline constexpr const char* kFolderClassId = "{645FF040-5081-101B-9F08-00AA002F954E}";
// The desktop.ini a lock writes into a folder that has none.
inline constexpr const char* kDesktopIniLines =
    "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n\r\n";

// True when the desktop.ini says nothing but what a lock writes: the section, the class identifier
// and empty lines. Anything else was the user's before the lock and stays after the unlock.
bool DesktopIniHoldsOnlyClassId(const std::string& content);

// Gives an unlocked folder (Windows form) the permission bits it had before its lock, when a lock
// kept them aside; the kept value goes once they are back.
void GiveFolderModeBack(const std::string& restoredPath);

} // namespace core
