#pragma once
// The program's settings: each one's registry key, value name, type and default, in one table, with
// typed reads and writes through it. Reads give the default for a missing value (or one of another
// type); writes that fail leave the setting as it was, as everywhere in the registry helpers.
// Registry values that are data rather than settings (passwords, wallet entries, folder modes) stay
// with the code that owns them.

#include "platform/Registry.h"
#include "settings/Settings.h"

#include <cstdint>
#include <string>

namespace settings {

// How a setting of type T keeps its default in a constant table.
template <typename T> struct SettingDefault { using type = T; };
template <> struct SettingDefault<std::string> { using type = const char*; };

// One setting. bool is stored as a DWORD (1 on, 0 off), std::int32_t as a DWORD, std::string as REG_SZ.
template <typename T> struct Setting {
    platform::RegRoot root;
    const char* key;
    const char* name;
    typename SettingDefault<T>::type fallback;

    T get() const;
    void set(const T& value) const;
    // Removes the stored value: reads give the default again.
    void remove() const;
};

extern template struct Setting<bool>;
extern template struct Setting<std::int32_t>;
extern template struct Setting<std::string>;

inline constexpr auto kUser = platform::RegRoot::CurrentUser;

// ---- The program's own choices (HKCU, kAppKey) ---------------------------------------------------

// Lock Files and Lock Folder and Files make strong locked files (".TSX").
inline constexpr Setting<bool> StrongLocks{kUser, kAppKey, "StrongLocks", false};
// Minutes without input before the window locks itself; 0 = never.
inline constexpr Setting<std::int32_t> IdleLockMinutes{kUser, kAppKey, "IdleLockMinutes", 0};
// The window asks for the password when it is restored from the tray.
inline constexpr Setting<bool> LockOnRestore{kUser, kAppKey, "LockOnRestore", false};
// The image viewer's thumbnail size in units (the largest a picture is drawn).
inline constexpr Setting<std::int32_t> ThumbnailSize{kUser, kAppKey, "ThumbnailSize", 68};
// The shredder's security level (its place in the "Security level" list).
inline constexpr Setting<std::int32_t> ShredLevel{kUser, kAppKey, "ShredLevel", 0};
// The browser toolbar button's last choice: "add" or "remove".
inline constexpr Setting<std::string> IeAdd{kUser, kAppKey, "ieadd", ""};
// "True": links open in a new browser window.
inline constexpr Setting<std::string> LaunchNewIE{kUser, kAppKey, "LaunchNewIE", ""};

// The scheduled folder shred: the folder (Windows form), the hour and minute as listed.
inline constexpr Setting<std::string> ShredFolder{kUser, kAppKey, "ShredFolder", ""};
inline constexpr Setting<std::string> ShredFolderHour{kUser, kAppKey, "ShredFolderHour", ""};
inline constexpr Setting<std::string> ShredFolderMinute{kUser, kAppKey, "ShredFolderMinute", ""};
// When the schedule was Set or last emptied its folder (seconds since the epoch, as text).
inline constexpr Setting<std::string> ShredFolderSince{kUser, kAppKey, "ShredFolderSince", ""};
// The identity of the folder Set ("device inode link", link 1 when the name Set was a link).
inline constexpr Setting<std::string> ShredFolderId{kUser, kAppKey, "ShredFolderId", ""};

// ---- Deployment values: outside addresses; empty (the default) turns that traffic off ------------

// Base of ".../error-reporting/error-msg.php".
inline constexpr Setting<std::string> ErrorReportHost{kUser, kAppKey, "ErrorReportHost", ""};
inline constexpr Setting<std::string> ConnectionProbeUrl{kUser, kAppKey, "ConnectionProbeURL", ""};
// Base of "/tsl.txt" and "/upgrade.html".
inline constexpr Setting<std::string> UpgradeHost{kUser, kAppKey, "UpgradeHost", ""};
inline constexpr Setting<std::string> HelpUrl{kUser, kAppKey, "HelpURL", ""};
inline constexpr Setting<std::string> HomeUrl{kUser, kAppKey, "HomeURL", ""};
inline constexpr Setting<std::string> MakerUrl{kUser, kAppKey, "MakerURL", ""};

// ---- Settings kept where other programs read them ------------------------------------------------

// Start at login: the executable's path under the Run key.
inline constexpr Setting<std::string> RunAtLogin{kUser, kRunKey, "Tessaly", ""};
// Explorer's display of hidden and system files; the program sets all three to 0 (hidden).
inline constexpr Setting<std::int32_t> ShowSuperHidden{kUser, kAdvancedKey, "ShowSuperHidden", 0};
inline constexpr Setting<std::int32_t> ExplorerHidden{kUser, kAdvancedKey, "Hidden", 0};
inline constexpr Setting<std::int32_t> SuperHidden{kUser, kAdvancedKey, "SuperHidden", 0};

// Sets the three Explorer display values to 0, so that hidden and system files stay out of sight:
// at start-up and whenever a folder is locked.
void HideHiddenFilesInExplorer();

} // namespace settings
