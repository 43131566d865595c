#pragma once
// Where a locked folder's password is checked from: one string value per folder under the current
// user's "set_free" key holding the password's one-way verifier (see AppPassword.h; a value of the old
// layout is taken over at its first right check). The folder commands write and check it; whatever
// removes a locked folder for good (an unlock, the shredder) removes its value too.

#include <string>

namespace core {

// The value's name, from the folder's plain path: "C:\Docs" -> "C:\\Docs", the form the folder
// tree's full path has (a second backslash right after the drive root).
std::string FolderPasswordValueName(const std::string& restoredPath);
// Stores the verifier of a folder's password. Throws platform::SysError 75 when the registry could
// not be written.
void StoreFolderPassword(const std::string& valueName, const std::string& password);
// Whether a password value is stored for the folder (an empty password counts; a folder locked with
// its files has none).
bool HasStoredFolderPassword(const std::string& valueName);
// Whether `typed` is the folder's password; with no value stored only "" is. Both throw
// platform::SysError 57 when the settings cannot be read: an unreadable password never counts as none.
bool CheckFolderPassword(const std::string& valueName, const std::string& typed);
// Removes the stored password of the folder whose plain path is given; nothing when there is none.
void ForgetFolderPassword(const std::string& restoredPath);

} // namespace core
