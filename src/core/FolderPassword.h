#pragma once
// Where a locked folder's password is kept: one enciphered string value per folder under the
// current user's "set_free" key. The folder commands write and check it; whatever removes a locked
// folder for good (an unlock, the shredder) removes its value too.

#include <string>

namespace core {

// The value's name, from the folder's plain path: "C:\Docs" -> "C:\\Docs", the form the folder
// tree's full path has (a second backslash right after the drive root).
std::string FolderPasswordValueName(const std::string& restoredPath);
// Removes the stored password of the folder whose plain path is given; nothing when there is none.
void ForgetFolderPassword(const std::string& restoredPath);

} // namespace core
