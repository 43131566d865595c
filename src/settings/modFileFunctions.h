#pragma once
// Path text operations and file, folder and drive helpers. Paths are Windows form, text is bytes.
// Sizes are 64-bit.

#include <cstdint>
#include <string>
#include <vector>

// Text operations (no platform call).
std::string AddBackslash(const std::string& text);
std::string RemoveBackslash(const std::string& text);
std::string GetExtension(const std::string& path);
std::string GetFolderPart(const std::string& path);
std::string GetFileNamePart(const std::string& path);
std::string GetDrivePart(const std::string& path);   // "NO DRIVE" without a colon
std::string GetPathPart(const std::string& path);    // "\" for a root, "NO PATH" without a backslash

// File, folder and drive operations. None of these throws.
bool FileExists(const std::string& path);            // file, folder or link of exactly this name
bool CanOpenForInput(const std::string& path);
std::string FileSizeText(const std::string& path);   // decimal bytes, "" when unreadable
std::string FormatByteSize(std::int64_t size);      // "0 bytes", "532 bytes", "1.30 KB", "2.00 GB"
std::string GetWindowsFolder();                       // Windows form
std::string GetSystemFolder();                        // Windows form
int GetDriveKind(const std::string& drive);          // kind of the drive named by the first character

bool ShellFileOperation(int operation, const std::vector<std::string>& sources, const std::string& destination,
                        bool confirm, bool silent, bool renameOnCollision);
bool ShellRename(const std::string& source, const std::string& destination, bool confirm, bool renameOnCollision);
bool ShellDelete(const std::vector<std::string>& sources, bool toRecycleBin, bool confirm, bool silent);
inline bool ShellDelete(const std::string& source, bool toRecycleBin, bool confirm, bool silent) {
    return ShellDelete(std::vector<std::string>{source}, toRecycleBin, confirm, silent);
}
bool CreateFolderPath(const std::string& folder, bool create);
bool DeleteFolderTree(const std::string& folder);
