#pragma once
// Settings addressed by a root *name*: "HKCU", "HKLM", "HKU", "HKDD", "HKCC", "HKCR" (any case) for
// the registry, or the path of an existing INI file (INI mode). Type letters "S" string, "B" Boolean
// (REG_BINARY, 2 bytes), "D" number (REG_DWORD). Status: 0 success, 99 invalid root, else the
// platform's code (an INI file that cannot be written: kIniWriteFailed).

#include "platform/Registry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

// What a root name stands for: a registry root, INI mode, or nothing (invalid).
struct RootSpec {
    enum Kind { Invalid, RegistryRoot, IniFile } kind = Invalid;
    platform::RegRoot root = platform::RegRoot::CurrentUser;
};

// A setting's value: text for "S", Boolean for "B", number for "D".
using SettingValue = std::variant<std::string, bool, std::int32_t>;

constexpr long kInvalidRoot = 99;
// An INI write or delete that did not reach the file (the path/file access error's number).
constexpr long kIniWriteFailed = 75;

RootSpec RootFromName(const std::string& name);
long GetSettingValue(const std::string& rootName, const std::string& keyOrSection, const std::string& valueName,
                     const std::string& typeLetter, const SettingValue& defaultValue, SettingValue& result);
long SetSettingValue(const std::string& rootName, const std::string& keyOrSection, const std::string& valueName,
                     const std::string& typeLetter, const SettingValue& value);
long DeleteSettingValue(const std::string& rootName, const std::string& keyOrSection, const std::string& valueName);

// Text conveniences over GetSettingValue / SetSettingValue with type "S".
std::string GetSettingText(const std::string& rootName, const std::string& section, const std::string& valueName,
                           const std::string& defaultValue = std::string());
