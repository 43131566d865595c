#pragma once
// The checks made before a file or folder is locked or unlocked. Each Refuse... function returns the
// message that refuses the item, or an empty text when nothing stands in the way.

#include "core/Register.h"

#include <optional>
#include <string>
#include <vector>

namespace core {

struct EngineContext;

// An empty file has nothing to lock into the small or the large format (a strong lock takes it).
inline constexpr const char* kEmptyFileMessage = "we can not lock the file of size 0 byte";
inline constexpr const char* kLockErrorTitle = "Lock Error";

// The checks that read the register take it as a path (one read for the one check) or as the
// snapshot of a batch (RegisterSnapshot: one read for all the checks of the run).

// The text in single quotes, as messages name files and folders.
std::string Quoted(const std::string& text);

// Said when a folder's ".hidden" is a symbolic link or not a regular file, and was left alone: what
// was locked there is locked, only not hidden from the desktop's file managers.
std::string HiddenListLeftAloneNote(const std::string& folder);

// The name the user knows a file by: the restored name of a locked file ("abgr.gkt.TSL" ->
// "note.txt"), otherwise its own name. A file counts as locked only when it begins with "[Secret]".
// A strong locked file (".TSX") is named from the register: "letter.txt (strong lock)".
std::string ShownName(const std::string& path);
// The same with the register's strong entries read already (a listing names many files).
std::string ShownName(const std::string& path, const std::vector<RegisterItem>& strongEntries);
// The name a strong locked file had, from its entry among the register's strong entries ("" when
// the register has none for it).
std::string StrongLockedName(const std::vector<RegisterItem>& strongEntries, const std::string& path);
// How a strong locked file is named to the user: "letter.txt (strong lock)".
std::string StrongShownText(const std::string& nameItHad);

// A path as the user knows it: the part of it that is a locked folder the register knows (`lockedFolders`:
// path on disk and path before the lock) is shown by its former path followed by " (locked)", e.g.
// "C:\Frperg Fghsf.TSL\Sub" as "C:\Secret Stuff (locked)\Sub". Path pieces the register does not know stay
// as they are.
std::string ShownPath(const std::string& path, const std::vector<RegisterItem>& lockedFolders);
// The same with the locked folders read from the register. A register that cannot be read leaves
// the path as it is on disk, which is still right.
std::string ShownPath(const std::string& registerPath, const std::string& path);

// A file that the engines may read and replace: a regular file, not a symbolic link (whose content
// would be read through the link while only the link is removed). "" for a path that does not exist.
std::string RefuseFileKind(const std::string& path);

// The same for a folder to be locked: a symbolic link is refused (the lock would rename the link and
// mark the folder it points to).
std::string RefuseFolderKind(const std::string& folder);

// True when `path` lies somewhere below `folder` (the drive letter in either case, the rest exactly).
bool LiesUnder(const std::string& path, const std::string& folder);

// The locked folder (register entry; key = its path now, text = its path before the lock) that
// holds `path`, either under its locked name or under the name it had. Only folders that are still
// locked on disk count.
std::optional<RegisterItem> LockedFolderAround(const std::string& registerPath, const std::string& path);
std::optional<RegisterItem> LockedFolderAround(const RegisterSnapshot& snapshot, const std::string& path);

// "'<shown>' lies inside the locked folder '<folder>'. Unlock that folder first."
std::string InsideLockedFolderMessage(const std::string& shown, const std::string& folder);
// The message above for `path` when a locked folder holds it; `shown` is how the user knows the item
// (empty: the path with the locked folder's name given back).
std::string RefuseInsideLockedFolder(const std::string& registerPath, const std::string& path,
                                     const std::string& shown = {});
std::string RefuseInsideLockedFolder(const RegisterSnapshot& snapshot, const std::string& path,
                                     const std::string& shown = {});
// "'<folder>' holds locked items. Unlock them first." when a locked file or folder that the register
// lists still lies below the folder.
std::string RefuseHoldingLockedItems(const std::string& registerPath, const std::string& folder);
std::string RefuseHoldingLockedItems(const RegisterSnapshot& snapshot, const std::string& folder);
// "A locked folder with the same name in another letter case exists." Folder passwords are kept
// under names matched without regard to case, so two such folders would share one password.
std::string RefuseCaseTwin(const std::string& registerPath, const std::string& folder);
std::string RefuseCaseTwin(const RegisterSnapshot& snapshot, const std::string& folder);

// "'<path>' can't be locked: it holds your system or Tessaly's own files." for a drive root, a home
// folder, the program's data, state, config or own folders, a system folder, something inside the
// program's or the system's folders, or a folder holding any of them (after links and ".." are
// resolved). A lock renames and hides what it takes, which would take the program's records with it.
std::string RefuseProtected(const std::string& path);

// All that refuses locking a file: its kind, a protected place and a locked folder around it.
std::string RefuseFileLock(const std::string& registerPath, const std::string& path);
std::string RefuseFileLock(const RegisterSnapshot& snapshot, const std::string& path);
// The same for a file of an engine's run: with the run's snapshot (EngineContext::registerSnapshot)
// when it has one, else with a read of its own.
std::string RefuseFileLock(const EngineContext& ctx, const std::string& path);

} // namespace core
