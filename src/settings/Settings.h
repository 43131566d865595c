#pragma once
// Every registry key and value the program reads or writes, in one place.

namespace settings {

// Program settings (HKCU).
inline constexpr const char* kAppKey = "SOFTWARE\\Orvane\\Tessaly_free";
inline constexpr const char* kShredFolder = "ShredFolder";
inline constexpr const char* kShredFolderHour = "ShredFolderHour";
inline constexpr const char* kShredFolderMinute = "ShredFolderMinute";
// When the schedule was Set or last emptied its folder (seconds since the epoch, as text).
inline constexpr const char* kShredFolderSince = "ShredFolderSince";
// The identity of the folder Set ("device inode link", link 1 when the name Set was a link).
inline constexpr const char* kShredFolderId = "ShredFolderId";
// DWORD: the shredder's security level (its place in the "Security level" list); default 0.
inline constexpr const char* kShredLevel = "ShredLevel";
inline constexpr const char* kLaunchNewIE = "LaunchNewIE";
inline constexpr const char* kIeAdd = "ieadd";
// DWORD: 1 = Lock Files and Lock Folder and Files make strong locked files (".TSX"); default 0.
inline constexpr const char* kStrongLocks = "StrongLocks";
// DWORD: the image viewer's thumbnail size in units (the largest a picture is drawn); default 68.
inline constexpr const char* kThumbnailSize = "ThumbnailSize";
// Locking the window again: after this many minutes without input (0, the default: never), and when
// it is restored from the tray (DWORD 1).
inline constexpr const char* kIdleLockMinutes = "IdleLockMinutes";
inline constexpr const char* kLockOnRestore = "LockOnRestore";

// Drive table override: value "C" = host folder, "C.Kind" = DWORD kind.
inline constexpr const char* kDrivesKey = "SOFTWARE\\Orvane\\Tessaly_free\\Drives";

// Deployment values: outside addresses. Empty (the default) turns that traffic off.
inline constexpr const char* kErrorReportHost = "ErrorReportHost";   // base of ".../error-reporting/error-msg.php"
inline constexpr const char* kConnectionProbeUrl = "ConnectionProbeURL";
inline constexpr const char* kUpgradeHost = "UpgradeHost"; // base of "/tsl.txt" and "/upgrade.html"
inline constexpr const char* kHelpUrl = "HelpURL";
inline constexpr const char* kHomeUrl = "HomeURL";
inline constexpr const char* kMakerUrl = "MakerURL";
inline constexpr const char* kSupportAddress = "support@tessaly.invalid";
inline constexpr const char* kDeveloperAddress = "errors@tessaly.invalid";

// Password wallet: one subkey per entry.
inline constexpr const char* kWalletKey = "SOFTWARE\\Orvane\\Tessaly\\PasswordWallet_free";
// Beside it, the random salt of the key that seals the wallet's fields (REG_BINARY "Salt").
inline constexpr const char* kWalletSealKey = "SOFTWARE\\Orvane\\Tessaly\\PasswordWalletSeal_free";
inline constexpr const char* kWalletSaltValue = "Salt";

// Stored application password and, under the same key, the folder passwords (one value per folder).
inline constexpr const char* kPasswordKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Set_free";
inline constexpr const char* kFolderPasswordKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\set_free";
inline constexpr const char* kPasswordValue = "RAM";
// A locked folder's permission bits from before its lock (DWORD per folder, named as its password
// value): the hidden folder is 0700 while locked and gets them back at its unlock.
inline constexpr const char* kFolderModeKey = "SOFTWARE\\Orvane\\Tessaly\\FolderModes_free";

// Explorer display values, set to 0 at start-up and whenever a folder is locked.
inline constexpr const char* kAdvancedKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced_free";
inline constexpr const char* kShowSuperHidden = "ShowSuperHidden";
inline constexpr const char* kHidden = "Hidden";
inline constexpr const char* kSuperHidden = "SuperHidden";

// Start at login.
inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValue = "Tessaly";

// Browser toolbar button (HKLM).
inline constexpr const char* kIeButtonKey =
    "Software\\Microsoft\\Internet Explorer\\Extensions\\{5B2E7C90-4D1A-11d8-A3F2-00C0DF4E7A31}";
inline constexpr const char* kIeButtonClsid = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

} // namespace settings
