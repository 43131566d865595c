#pragma once
// Every registry key the program reads or writes, and the values that are data rather than settings.

namespace settings {

// Program settings (HKCU). The settings under this key and the others below are listed, with their
// types and defaults, in settings/SettingsTable.h.
inline constexpr const char* kAppKey = "SOFTWARE\\Orvane\\Tessaly_free";

// Drive table override: value "C" = host folder, "C.Kind" = DWORD kind.
inline constexpr const char* kDrivesKey = "SOFTWARE\\Orvane\\Tessaly_free\\Drives";

// Mail addresses the program writes to.
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

// Explorer display values.
inline constexpr const char* kAdvancedKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced_free";

// Start at login.
inline constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Browser toolbar button (HKLM).
inline constexpr const char* kIeButtonKey =
    "Software\\Microsoft\\Internet Explorer\\Extensions\\{5B2E7C90-4D1A-11d8-A3F2-00C0DF4E7A31}";
inline constexpr const char* kIeButtonClsid = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

} // namespace settings
