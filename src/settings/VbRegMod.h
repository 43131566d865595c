#pragma once
// Registry access by predefined root, key path and value name, over the platform registry.
// Reads give the default when the value cannot be read; writes and deletes leave the setting
// unchanged when they fail, and say whether they succeeded (true) so that callers can act on it.

#include "platform/Registry.h"

#include <cstdint>
#include <string>

using platform::RegRoot;

inline constexpr RegRoot HKEY_CLASSES_ROOT = RegRoot::ClassesRoot;
inline constexpr RegRoot HKEY_CURRENT_USER = RegRoot::CurrentUser;
inline constexpr RegRoot HKEY_LOCAL_MACHINE = RegRoot::LocalMachine;
inline constexpr RegRoot HKEY_USERS = RegRoot::Users;
inline constexpr RegRoot HKEY_CURRENT_CONFIG = RegRoot::CurrentConfig;
inline constexpr RegRoot HKEY_DYN_DATA = RegRoot::DynData;

// A key or value that is not there counts as deleted.
bool DeleteKey(RegRoot root, const std::string& keyPath);
bool DeleteValue(RegRoot root, const std::string& keyPath, const std::string& valueName);
// REG_SZ text up to its first zero byte; the default for a missing value or another type.
std::string GetString(RegRoot root, const std::string& keyPath, const std::string& valueName,
                      const std::string& defaultValue = std::string());
// The whole REG_SZ data, zero bytes included (for values whose bytes are enciphered text).
std::string GetStringFull(RegRoot root, const std::string& keyPath, const std::string& valueName,
                          const std::string& defaultValue = std::string());
bool SaveString(RegRoot root, const std::string& keyPath, const std::string& valueName, const std::string& text);
// A REG_DWORD value; the default for a missing value or another type.
std::int32_t GetLong(RegRoot root, const std::string& keyPath, const std::string& valueName,
                     std::int32_t defaultValue = 0);
bool SaveLong(RegRoot root, const std::string& keyPath, const std::string& valueName, std::int32_t number);
// The path without the extension of its last component, cut at the first zero byte.
std::string RemoveExtension(const std::string& path);
// The text before its first zero byte.
std::string StripNull(const std::string& text);
