#pragma once
// The folder commands: Lock Folder, Unlock Folder, Lock Folder and Files, Unlock Folder and files.
// A locked folder keeps its files as they are: it is renamed to its scrambled name with ".TSL",
// made Hidden and System, and given a desktop.ini that names the shell's special-folder class. Its
// password lives enciphered in the registry and the register lists it.

#include "core/FolderMarks.h"
#include "core/FolderPassword.h"
#include "locking/FileCommands.h"

#include <functional>
#include <optional>
#include <string>

namespace platform {
class Prompt;
}

namespace locking {

// The class identifier, and the desktop.ini a lock writes into a folder that has none (kept in core,
// where the recovery sweep mends them).
using core::kDesktopIniLines;
using core::kFolderClassId;

// The folder selected in the folder tree. key = the folder's path on disk; text = the name shown;
// fullPath = the node texts from the root down joined by "\" ("C:\\Docs\Old"), the name of the
// folder's password value. An empty key means no folder is selected.
struct SelectedFolder {
    std::string key;
    std::string text;
    std::string fullPath;
};

// Called with the name of each step a folder's unlock reaches ("desktop.ini removed", "attributes
// cleared", "renamed", "mode given back", "password removed"), so a test can stop the process there.
using FolderCheckpoint = std::function<void(const char* step)>;

struct FolderRequest {
    SelectedFolder folder;
    std::string password;     // txtPassword1
    std::string confirmation; // txtPassword2
    std::string ownFolder;    // the program's folder, Windows form
    std::string ownExecutable;
    std::string registerPath;
    bool strongLocks = false; // Lock Folder and Files makes strong locked files (".TSX")
    FolderCheckpoint checkpoint = {};
};

struct FolderResult {
    bool moved = false; // the folder now lies at newPath: point the tree node and filFiles there
    std::string newPath;
    bool clearPasswords = false; // empty both password boxes and put the focus in txtPassword1
};

FolderResult LockFolder(const FolderRequest& request, platform::Prompt& prompt);
FolderResult UnlockFolder(const FolderRequest& request, platform::Prompt& prompt);
// Locks every file of the folder with the file lock (its checks and messages), then hides the folder.
FolderResult LockFolderAndFiles(const FolderRequest& request, platform::Prompt& prompt, const RunHooks& hooks = {});
// Unlocks every file of a locked folder with the file unlock, then gives the folder its name back.
FolderResult UnlockFolderAndFiles(const FolderRequest& request, platform::Prompt& prompt, const RunHooks& hooks = {});

// A plain file of a locked folder that has a password does not open as it is: the folder is unlocked
// first, as Unlock Folder does it (the typed password, or one asked for the folder, then the
// question). nullopt when `fileFolder` is no such folder (the file opens as usual); otherwise what
// the unlock did, the file to be opened in the folder's new place.
std::optional<FolderResult> UnlockFolderToOpen(const FolderRequest& request, const std::string& fileFolder,
                                               platform::Prompt& prompt, const AskPassword& askPassword);

// Names of a folder before and after its lock.
std::string LockedFolderPath(const std::string& folderPath, const std::string& shownName);
std::string RestoredFolderPath(const std::string& lockedPath);
// The password value name of a folder from its plain path (kept in core, beside the value's removal).
using core::FolderPasswordValueName;
// The folder's stored password: whether there is one, and whether a typed one matches (kept in core).
using core::CheckFolderPassword;
using core::HasStoredFolderPassword;
// True when the path ends in ".TSL" (any case), as a locked folder's name does.
bool EndsInFolderLockExtension(const std::string& path);
// Asks "Are you sure you want to <verb> '<folder>' folder ?" (Yes / No, titled "Lock Confirmation" or
// "Unlock Confirmation" after the verb); true for Yes.
bool ConfirmFolderCommand(platform::Prompt& prompt, const std::string& verb, const std::string& folder);

// Shared by the main window and the vault once the password is accepted and the user said Yes.
enum class FolderUnlockEnd { Unlocked, Failed };
// Gives a locked folder its name back, clears its attributes, takes the class identifier out of its
// desktop.ini (deleting the file when nothing of the user's is left in it), then removes
// its password value (when valueName is not empty) and its register entry. When the rename fails,
// everything is put back as it was and the user is told why.
// Its steps are taken under the lock of the folder that holds it (see RecoverFolders).
FolderUnlockEnd RestoreLockedFolder(const std::string& lockedPath, const std::string& restoredPath,
                                    const std::string& valueName, const std::string& registerPath,
                                    platform::Prompt& prompt, const FolderCheckpoint& checkpoint = {});
// A locked folder that is not at its locked path. While its drive or parent folder is missing it is
// only reported (it may still exist there); otherwise the user is asked whether to remove it from
// the vault (No by default), and only a Yes removes its register entry and password value. Returns
// true when the folder was missing (the caller goes no further with it).
bool ForgetVanishedFolder(const std::string& lockedPath, const std::string& restoredPath, const std::string& valueName,
                          const std::string& registerPath, platform::Prompt& prompt);

} // namespace locking
