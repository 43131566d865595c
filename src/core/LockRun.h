#pragma once
// One lock run and one unlock run over a list of files, for the main window's commands and for
// tessaly-cli alike: the checks and their refusals, the attributes taken off before the engine and
// put back when a file is not locked, the engine itself, and what became of each file. The callers
// gather the files and show the outcomes; what differs between them is the small RunPolicy.

#include "platform/SysError.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace core {

inline constexpr const char* kSecretMarker = "[Secret]";

// The refusals of a lock run, in the words the program has always used.
inline constexpr const char* kBootRootMessage = "Sorry you cannot lock any file in the Boot Drive root folder";
inline constexpr const char* kSystemFileMessage = "Sorry you cannot lock a system file as this may crash your system";
inline constexpr const char* kOwnExecutableMessage =
    "An error occurred during locking process \r\n Tessaly.exe can not be locked.";

// A file of a run.
struct RunItem {
    std::string folder; // Windows form
    std::string name;   // its name on disk
    std::string shown;  // the name the user knows it by (a locked file's restored name), for messages
    std::string path() const;
};

enum class ItemOutcome {
    NotTried,  // the run ended before it
    Done,      // locked or unlocked
    Refused,   // a check refused it before anything was touched; the refusal was shown
    NotLocked, // (unlock) not a locked file; `reason` says why when the policy asks for reasons
    Missing,   // (unlock) no longer there when the run reached it
    Failed,    // not done; the engine showed its message, or `reason` gives the run's own words
};

struct ItemResult {
    ItemOutcome outcome = ItemOutcome::NotTried;
    std::string reason = {};
    std::string target = {}; // a locked file: where it is now
};

// What differs between the callers of a run.
struct RunPolicy {
    std::string registerPath;
    std::string windowName = "frmMain"; // the reporting window, for the error reporter
    bool strong = false;                // lock into strong locked files (".TSX") of every size
    // Paths (Windows form, compared without regard to case) of the program's own executables,
    // which a lock refuses.
    std::vector<std::string> ownExecutables;
    // A system error ends the whole run (RunOutcome::error); otherwise only its file fails, with the
    // system's words as the reason, and the run goes on.
    bool stopAtError = true;
    // Unlock: the first small locked file that cannot be unlocked (a wrong password above all) ends
    // the run; otherwise every file is tried.
    bool stopAtSmallFailure = false;
    // Unlock: a file counts as locked only when its name is a locked file's name (or its content
    // is a strong locked file's) and it begins with a whole locked header, and a file that is not
    // gets the reason why; otherwise the "[Secret]" marker (or the strong header) is enough.
    bool strictLockedTest = false;
    // A refusal whose words do not name its file is preceded by the file's shown name and ": ".
    bool nameFileInRefusals = false;
    // Each file's outcome as soon as it is known, in the order the run's messages come.
    std::function<void(std::size_t item, const ItemResult& result)> told;
    // The run's bar: a hundred steps a file.
    std::function<void(int done, int total)> progress;
    // Called with the name of each step the engine reaches (see EngineContext::checkpoint).
    std::function<void(const char* step)> checkpoint;
};

struct RunOutcome {
    std::vector<ItemResult> items;
    int done = 0;
    bool failed = false;                     // some file failed (refusals not counted)
    bool unexplained = false;                // some failure got no message of its own from the engine
    bool stopped = false;                    // the run ended before its last file (a failure or a system error)
    std::optional<platform::SysError> error; // the system error that stopped the run
    std::string errorPath;                   // the file the run was at then
    // A strong lock on a disk that may keep copies of what it overwrites (copy-on-write, flash, a
    // data journal): what the user is told, once for the run; "" when every disk lets the overwrite
    // reach the original.
    std::string diskWarning;
};

// The boot drive's root folder is refused before anything is locked in it: "" for any other folder.
std::string RefuseBootRoot(const std::string& folder);

// True when the file begins with "[Secret]" or with the strong header.
bool HasSecretMarker(const std::string& path);

// Locks the files together (one flush for all of them) after checking each; every refusal is shown
// through the prompt as it is met.
RunOutcome LockRun(const std::vector<RunItem>& items, const std::string& password, const RunPolicy& policy,
                   platform::Prompt& prompt);
// Unlocks the files together, in runs between the files that get a message of their own, so that
// messages keep the files' order.
RunOutcome UnlockRun(const std::vector<RunItem>& items, const std::string& password, const RunPolicy& policy,
                     platform::Prompt& prompt);

} // namespace core
