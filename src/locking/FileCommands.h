#pragma once
// The file lock and unlock commands of the main window, over plain values: the current folder, the
// checked items of the file list, the two password boxes' texts. The engines do the enciphering and
// the register; these routines choose the engine, make the checks, show the messages and tell the
// caller what became of the run.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace locking {

// One row of the file list: key = the name on disk, text = the name the user knows.
struct FileItem {
    std::string key;
    std::string text;
};

// What the caller's windows do while a run goes on. Every hook may be left empty.
struct RunHooks {
    std::function<void(const std::string& message)> showProgress; // frmProgress with its message
    std::function<void(int done, int total)> progress;            // the progress bar
    std::function<void()> closeProgress;
    std::function<void()> rebuildList; // filFiles refreshed, lvwFiles rebuilt
    std::function<void(const std::string& text)> log; // a line in the application log
};

struct FileBatch {
    std::string folder;            // the current folder (the path of filFiles)
    std::vector<FileItem> checked; // the checked items, in list order
    std::string password;          // txtPassword1
    std::string confirmation;      // txtPassword2
    std::string registerPath;
    std::string ownExecutable; // the running program, Windows form
    std::string windowName = "frmMain";
    bool strongLocks = false; // lock into strong locked files (".TSX") of every size
};

enum class RunEnd {
    Refused,   // stopped before any file was touched; nothing to rebuild
    Completed, // ran to its end: the list was rebuilt, the password boxes are to be emptied
    Stopped,   // ended by a failure: no rebuild, the password boxes keep their text
};

struct RunResult {
    RunEnd end = RunEnd::Refused;
    bool anyChecked = false;
    bool failed = false; // some engine reported failure
    int done = 0;        // files locked or unlocked
};

// Whether Options -> Preferences asks for strong locks (the DWORD "StrongLocks", default 0).
bool StrongLocksChosen();

// The Lock command over the checked items.
RunResult LockFiles(const FileBatch& batch, platform::Prompt& prompt, const RunHooks& hooks = {});
// The Unlock command over the checked items.
RunResult UnlockFiles(const FileBatch& batch, platform::Prompt& prompt, const RunHooks& hooks = {});

// Asks for a locked file's password (the file as the user knows it): the text, or nothing for Cancel.
using AskPassword = std::function<std::optional<std::string>(const std::string& shownPath)>;

// Double click on a row: a locked file is unlocked (after a question) and opened with its default
// application; any other file is opened straight away. With `password` empty, `askPassword` (when
// given) asks for the file's own. Returns whether the list is to be rebuilt (false when the user
// answered No or cancelled the password).
bool UnlockAndOpenFile(const std::string& folder, const FileItem& item, const std::string& password,
                       const std::string& registerPath, platform::Prompt& prompt, const RunHooks& hooks = {},
                       const AskPassword& askPassword = {});

// The rows the browser pane shows for a folder's files ("desktop.ini" left out): key = name on
// disk; text = the restored name for a locked file, the name otherwise.
std::vector<FileItem> FolderFileItems(const std::string& folder);

// True when the file begins with "[Secret]".
bool HasSecretMarker(const std::string& path);

} // namespace locking
