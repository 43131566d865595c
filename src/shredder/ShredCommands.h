#pragma once
// The shredder's rules around the engine: which items may be shredded, the texts the user sees,
// the register entries of shredded locked items, and the scheduled shred's minute counting.
// Paths are Windows form.

#include "shredder/ShredEngine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace shredder {

inline constexpr const char* kEmptyListMessage = "Error: Enter a file for shredding!";
inline constexpr const char* kDropHint = "Too add a file simply drag & drop the file to the list box!";
inline constexpr const char* kReady = "Ready...";

// "There are <count> files ready for deleting!" ("There is 1 file ready for deleting!" for one).
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

// What the user is told when a disk that holds one of the items (Windows form) may keep copies of
// what is overwritten (copy-on-write, flash, a data journal): one sentence, for the first such item;
// "" when every disk lets the overwrite reach the content.
std::string DiskWarning(const std::vector<std::string>& windowsPaths);

// One message naming each item that could not be shredded and why; "" when none failed.
std::string FailureMessage(const std::vector<Failure>& failures);

// The Windows form of the entry an item's path points at (".", ".." and links resolved); the path
// itself when no drive maps that entry.
std::string ResolvedPath(const std::string& windowsPath);

// Removes the register entries of a shredded item: a locked file, or everything locked inside a
// shredded folder (the folder itself included unless `folderKept`), with the stored password of
// every locked folder among them, so that the Security Vault no longer lists them. False, after a
// message naming the item and the cause, when the register exists but could not be read or updated.
bool ForgetShredded(const std::string& registerPath, const std::string& windowsPath, platform::Prompt& prompt,
                    bool folderKept = false);

// The shortest period the schedule runs at, in minutes: Set refuses a shorter one (other than 0).
inline constexpr int kScheduleMinimumMinutes = 5;
// The longest period's hours the window offers.
inline constexpr int kScheduleMaxHours = 24;

// The scheduled shred's period in minutes from the hour and minute lists' texts: whole decimal
// numbers only (blanks around them allowed), 60 h + m. Nothing (nullopt) when either text is not
// such a number or the period does not fit; 0 when both are zero, which sets no schedule.
std::optional<int> SchedulePeriod(const std::string& hourText, const std::string& minuteText);
// True when a folder set (or last emptied) at `since` is due at `now` (both in seconds): every
// max(kScheduleMinimumMinutes, period) minutes (a shorter period stored by an older version
// counts as the minimum); never for a period of 0.
bool ScheduleDue(int periodMinutes, std::int64_t since, std::int64_t now);
// When a folder set (or last emptied) at `since` is next due (seconds since the epoch): `since` plus
// max(kScheduleMinimumMinutes, period) minutes. The period must not be 0.
std::int64_t NextScheduledRun(int periodMinutes, std::int64_t since);
// A period as the user reads it: "2 h 30 min", "2 h", "45 min".
std::string PeriodText(int periodMinutes);
// The folder text of the schedule in the form it is stored: a host path ("/home/me/Temp") becomes
// its drive form; "" when no drive maps it. Windows-form text is kept as it is.
std::string ScheduledFolderText(const std::string& typed);
// "Shred N items? They can't be recovered."
std::string ConfirmText(std::size_t count);

} // namespace shredder
