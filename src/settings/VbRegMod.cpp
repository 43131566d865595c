#include "settings/VbRegMod.h"

#include "platform/Environment.h"

#include <exception>

// Every operation swallows failures: a registry that cannot be opened or written leaves the setting
// as it was, and a read gives the default.

void DeleteKey(RegRoot root, const std::string& keyPath) {
    try {
        platform::registry().deleteKey(root, keyPath);
    } catch (const std::exception&) {
    }
}

void DeleteValue(RegRoot root, const std::string& keyPath, const std::string& valueName) {
    try {
        platform::registry().deleteValue(root, keyPath, valueName);
    } catch (const std::exception&) {
    }
}

std::string GetString(RegRoot root, const std::string& keyPath, const std::string& valueName,
                      const std::string& defaultValue) {
    return StripNull(GetStringFull(root, keyPath, valueName, defaultValue));
}

std::string GetStringFull(RegRoot root, const std::string& keyPath, const std::string& valueName,
                          const std::string& defaultValue) {
    try {
        platform::RegValue value;
        if (platform::registry().queryValue(root, keyPath, valueName, value) == platform::kRegSuccess &&
            value.type == platform::REG_SZ)
            return value.data;
    } catch (const std::exception&) {
    }
    return defaultValue;
}

void SaveString(RegRoot root, const std::string& keyPath, const std::string& valueName, const std::string& text) {
    try {
        platform::registry().setString(root, keyPath, valueName, text);
    } catch (const std::exception&) {
    }
}

std::int32_t GetLong(RegRoot root, const std::string& keyPath, const std::string& valueName,
                     std::int32_t defaultValue) {
    try {
        platform::RegValue value;
        if (platform::registry().queryValue(root, keyPath, valueName, value) == platform::kRegSuccess &&
            value.type == platform::REG_DWORD && value.data.size() >= 4) {
            std::uint32_t n = 0;
            for (int i = 3; i >= 0; --i)
                n = (n << 8) | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
            return static_cast<std::int32_t>(n);
        }
    } catch (const std::exception&) {
    }
    return defaultValue;
}

void SaveLong(RegRoot root, const std::string& keyPath, const std::string& valueName, std::int32_t number) {
    try {
        platform::registry().setDword(root, keyPath, valueName, static_cast<std::uint32_t>(number));
    } catch (const std::exception&) {
    }
}

std::string RemoveExtension(const std::string& path) {
    std::string text = StripNull(path);
    const auto lastSeparator = text.rfind('\\');
    const auto dot = text.rfind('.');
    if (dot != std::string::npos && (lastSeparator == std::string::npos || dot > lastSeparator))
        text.erase(dot);
    return text;
}

std::string StripNull(const std::string& text) {
    const auto zero = text.find('\0');
    return zero == std::string::npos ? text : text.substr(0, zero);
}
