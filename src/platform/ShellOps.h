#pragma once
// The shell's file operation: move, copy, delete, rename of one path or a list of paths
// (Windows form). Folders move, copy and delete with everything in them. Delete either removes for
// good or moves to the freedesktop trash (allow-undo). Rename-on-collision picks a free name
// ("Copy of a.txt", "Copy (2) of a.txt") instead of failing. The operation stops at the first
// failure and returns false; it never overwrites an existing target without rename-on-collision
// (a taken target is a failure).

#include <string>
#include <vector>

namespace platform {

class Prompt;

enum class FileOp : int { Move = 1, Copy = 2, Delete = 3, Rename = 4 };

constexpr unsigned kFofSilent = 0x4;
constexpr unsigned kFofRenameOnCollision = 0x8;
constexpr unsigned kFofNoConfirmation = 0x10;
constexpr unsigned kFofAllowUndo = 0x40;

// confirm: without kFofNoConfirmation and with a prompt given, a delete asks "Are you sure ...?"
// (Yes/No) first; No cancels the whole operation (result false).
bool shellFileOperation(FileOp op, const std::vector<std::string>& sources, const std::string& destination,
                        unsigned flags, Prompt* prompt = nullptr);

// Moves one file or folder (Windows form) to the freedesktop trash.
bool moveToTrash(const std::string& windowsPath);

} // namespace platform
