#pragma once
// The shredder's rules around the engine: which items may be shredded, the texts the user sees,
// the register entries of shredded locked items, and the scheduled shred's minute counting.
// Paths are Windows form.

#include "shredder/ShredEngine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace shredder {

inline constexpr const char* kEmptyListMessage = "Error: Enter a file for shredding!";
inline constexpr const char* kDropHint = "Too add a file simply drag & drop the file to the list box!";
inline constexpr const char* kReady = "Ready...";

// "There are <count> files ready for deleting!"
std::string CountText(std::size_t count);

// True when the item is (or holds) a drive root, the home folder, the program's data or own
// folders or the system's folders, after ".", ".." and links are resolved.
bool IsRefused(const std::string& windowsPath);
// "'<path>' can't be shredded: it holds your system or Tessaly's own files."
std::string RefusalMessage(const std::string& windowsPath);
// Shows the refusal (OK, critical icon, application title) when the item is refused; true then.
bool RefuseIfProtected(const std::string& windowsPath, platform::Prompt& prompt);

// The host entry an item names; "" when no drive maps it.
std::string HostOf(const std::string& windowsPath);

// The folder the schedule empties: the one a path leads to with every link followed (a link named
// as the scheduled folder stands for its target). "" when it leads to no folder a drive maps.
std::string ScheduledFolderTarget(const std::string& windowsPath);

// One message naming each item that could not be shredded and why; "" when none failed.
std::string FailureMessage(const std::vector<Failure>& failures);

// The Windows form of the entry an item's path points at (".", ".." and links resolved); the path
// itself when no drive maps that entry.
std::string ResolvedPath(const std::string& windowsPath);

// Removes the register entries of a shredded item: a locked file, or everything locked inside a
// shredded folder (the folder itself included unless `folderKept`), with the stored password of
// every locked folder among them, so that the Security Vault no longer lists them.
void ForgetShredded(const std::string& registerPath, const std::string& windowsPath, platform::Prompt& prompt,
                    bool folderKept = false);

// The scheduled shred's minute counter: tick() once a minute with the hour and minute lists' texts
// (an empty text becomes "0"); true when the folder is due, every max(5, 60 h + m) minutes. Nothing
// is ever due for 0 hours and 0 minutes or for texts that are not numbers.
class ShredSchedule final {
public:
    bool tick(std::string& hourText, std::string& minuteText);
    int counter() const { return m_counter; }
    // A due run that could not start is tried again at the next tick.
    void retryNextTick() { m_counter = INT16_MAX; }

private:
    std::int16_t m_counter = 0;
};

} // namespace shredder
