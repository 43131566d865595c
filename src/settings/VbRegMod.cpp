#include "settings/VbRegMod.h"

#include "platform/Environment.h"

#include <exception>

// A registry that cannot be opened or written leaves the setting as it was: a read gives the
// default, a write or delete returns false.

namespace {

bool succeeded(long status) {
    return status == platform::kRegSuccess;
}

bool deleted(long status) {
    return status == platform::kRegSuccess || status == platform::kRegNotFound;
}

} // namespace

bool DeleteKey(RegRoot root, const std::string& keyPath) {
    try {
        return deleted(platform::registry().deleteKey(root, keyPath));
    } catch (const std::exception&) {
        return false; // the registry could not be opened
    }
}

bool DeleteValue(RegRoot root, const std::string& keyPath, const std::string& valueName) {
    try {
        return deleted(platform::registry().deleteValue(root, keyPath, valueName));
    } catch (const std::exception&) {
        return false; // the registry could not be opened
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
        // A registry that cannot be opened reads as one without the value: the default.
    }
    return defaultValue;
}

bool SaveString(RegRoot root, const std::string& keyPath, const std::string& valueName, const std::string& text) {
    try {
        return succeeded(platform::registry().setString(root, keyPath, valueName, text));
    } catch (const std::exception&) {
        return false; // the registry could not be opened
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
        // A registry that cannot be opened reads as one without the value: the default.
    }
    return defaultValue;
}

bool SaveLong(RegRoot root, const std::string& keyPath, const std::string& valueName, std::int32_t number) {
    try {
        return succeeded(platform::registry().setDword(root, keyPath, valueName, static_cast<std::uint32_t>(number)));
    } catch (const std::exception&) {
        return false; // the registry could not be opened
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
