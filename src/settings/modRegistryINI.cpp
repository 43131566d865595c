#include "settings/modRegistryINI.h"

#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/ProfileFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <charconv>
#include <exception>

namespace {

constexpr long kMoreData = 234;
// INI reads go through a buffer of this many characters, one of them the terminating zero.
constexpr std::size_t kIniBufferSize = 255;

// The root name resolved: for INI mode also the file's path as it is spelled on disk (the lookup
// matches names without regard to case, the host's files do not).
RootSpec resolveRoot(const std::string& name, std::string* iniPath) {
    static const struct {
        const char* name;
        platform::RegRoot root;
    } kRoots[] = {
        {"HKCU", platform::RegRoot::CurrentUser},   {"HKLM", platform::RegRoot::LocalMachine},
        {"HKU", platform::RegRoot::Users},          {"HKDD", platform::RegRoot::DynData},
        {"HKCC", platform::RegRoot::CurrentConfig}, {"HKCR", platform::RegRoot::ClassesRoot},
    };
    const std::string key = platform::upperText(name);
    for (const auto& r : kRoots)
        if (key == r.name)
            return RootSpec{RootSpec::RegistryRoot, r.root};

    // Anything else must name one existing plain file: not a folder, not hidden, not a system file.
    // A wildcard pattern names no file.
    if (name.empty() || name.find_first_of("*?") != std::string::npos)
        return RootSpec{};
    try {
        const auto found = platform::findFiles(name);
        if (found.size() != 1)
            return RootSpec{};
        const auto& entry = found.front();
        if (entry.isFolder() || (entry.attributes & (platform::kAttrHidden | platform::kAttrSystem)) != 0)
            return RootSpec{};
        if (iniPath) {
            const auto slash = name.rfind('\\');
            *iniPath = (slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + entry.name;
        }
        return RootSpec{RootSpec::IniFile, platform::RegRoot::CurrentUser};
    } catch (const std::exception&) {
        return RootSpec{};
    }
}

// A setting's value as text, the way a variant turns into a string.
std::string toText(const SettingValue& value) {
    if (const auto* s = std::get_if<std::string>(&value))
        return *s;
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? "True" : "False";
    return std::to_string(std::get<std::int32_t>(value));
}

// A setting's value as a number; false when a text is not a whole number.
bool toNumber(const SettingValue& value, long long& out) {
    if (const auto* b = std::get_if<bool>(&value)) {
        out = *b ? -1 : 0;
        return true;
    }
    if (const auto* i = std::get_if<std::int32_t>(&value)) {
        out = *i;
        return true;
    }
    std::string text = std::get<std::string>(value);
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool toBoolean(const SettingValue& value, bool& out) {
    if (const auto* s = std::get_if<std::string>(&value)) {
        const std::string u = platform::upperText(*s);
        if (u == "TRUE" || u == "FALSE") {
            out = u == "TRUE";
            return true;
        }
    }
    long long n = 0;
    if (!toNumber(value, n))
        return false;
    out = n != 0;
    return true;
}

std::string littleEndian(std::uint32_t v, std::size_t bytes) {
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return data;
}

std::uint32_t fromLittleEndian(const std::string& data) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < data.size() && i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    return v;
}

} // namespace

RootSpec RootFromName(const std::string& name) {
    return resolveRoot(name, nullptr);
}

long GetSettingValue(const std::string& rootName, const std::string& keyOrSection, const std::string& valueName,
                     const std::string& typeLetter, const SettingValue& defaultValue, SettingValue& result) {
    result = defaultValue;
    std::string iniPath;
    const RootSpec resolved = resolveRoot(rootName, &iniPath);
    const std::string type = platform::upperText(typeLetter);

    if (resolved.kind == RootSpec::Invalid)
        return kInvalidRoot;

    if (resolved.kind == RootSpec::IniFile) {
        if (type != "S")
            return 0;
        try {
            std::string text = platform::getProfileString(iniPath, keyOrSection, valueName, toText(defaultValue));
            if (text.size() > kIniBufferSize - 1)
                text.resize(kIniBufferSize - 1);
            result = text;
        } catch (const std::exception&) {
            // An unreadable file reads like a missing entry: the default stays.
        }
        return 0;
    }

    try {
        const platform::Registry& registry = platform::registry();
        if (!registry.keyExists(resolved.root, keyOrSection))
            return platform::kRegNotFound;
        if (type != "S" && type != "B" && type != "D")
            return 0;
        platform::RegValue value;
        const long status = registry.queryValue(resolved.root, keyOrSection, valueName, value);
        if (status != platform::kRegSuccess)
            return status;
        if (type == "S") {
            std::string text = value.data;
            if (!text.empty() && text.back() == '\0')
                text.pop_back();
            result = text;
        } else if (type == "B") {
            if (value.data.size() > 2)
                return kMoreData;
            result = static_cast<std::int16_t>(fromLittleEndian(value.data)) != 0;
        } else {
            if (value.data.size() > 4)
                return kMoreData;
            result = static_cast<std::int32_t>(fromLittleEndian(value.data));
        }
        return 0;
    } catch (const std::exception&) {
        result = defaultValue;
        return platform::kRegBadDatabase;
    }
}

long SetSettingValue(const std::string& rootName, const std::string& keyOrSection, const std::string& valueName,
                     const std::string& typeLetter, const SettingValue& value) {
    std::string iniPath;
    const RootSpec resolved = resolveRoot(rootName, &iniPath);
    const std::string type = platform::upperText(typeLetter);

    if (resolved.kind == RootSpec::Invalid)
        return kInvalidRoot;

    if (resolved.kind == RootSpec::IniFile) {
        if (type != "S")
            return kInvalidRoot;
        try {
            return platform::writeProfileString(iniPath, keyOrSection, valueName, toText(value)) ? 0 : kIniWriteFailed;
        } catch (const std::exception&) {
            return kIniWriteFailed;
        }
    }

    // Convert first, so that a value that does not fit writes nothing (rather than a cut number).
    platform::RegValue data;
    if (type == "S") {
        data = {platform::REG_SZ, toText(value)};
    } else if (type == "B") {
        bool b = false;
        if (!toBoolean(value, b))
            return platform::kRegInvalidParameter;
        data = {platform::REG_BINARY, littleEndian(b ? 0xFFFFu : 0u, 2)};
    } else if (type == "D") {
        long long n = 0;
        if (!toNumber(value, n) || n < INT16_MIN || n > INT16_MAX)
            return platform::kRegInvalidParameter;
        const auto sign_extended = static_cast<std::int32_t>(static_cast<std::int16_t>(n));
        data = {platform::REG_DWORD, littleEndian(static_cast<std::uint32_t>(sign_extended), 4)};
    }

    try {
        platform::Registry& registry = platform::registry();
        const long created = registry.createKey(resolved.root, keyOrSection);
        if (created != platform::kRegSuccess)
            return created;
        if (data.type == platform::REG_NONE)
            return 0; // an unknown type letter writes nothing
        return registry.setValue(resolved.root, keyOrSection, valueName, data);
    } catch (const std::exception&) {
        return platform::kRegBadDatabase;
    }
}

long DeleteSettingValue(const std::string& rootName, const std::string& keyOrSection, const std::string& valueName) {
    std::string iniPath;
    const RootSpec resolved = resolveRoot(rootName, &iniPath);
    if (resolved.kind == RootSpec::Invalid)
        return kInvalidRoot;

    if (resolved.kind == RootSpec::IniFile) {
        try {
            return platform::deleteProfileKey(iniPath, keyOrSection, valueName) ? 0 : kIniWriteFailed;
        } catch (const std::exception&) {
            return kIniWriteFailed;
        }
    }

    try {
        const long status = platform::registry().deleteValue(resolved.root, keyOrSection, valueName);
        return status == platform::kRegNotFound ? 0 : status;
    } catch (const std::exception&) {
        return platform::kRegBadDatabase;
    }
}

std::string GetSettingText(const std::string& rootName, const std::string& section, const std::string& valueName,
                           const std::string& defaultValue) {
    SettingValue result;
    GetSettingValue(rootName, section, valueName, "S", defaultValue, result);
    if (const auto* s = std::get_if<std::string>(&result))
        return *s;
    return defaultValue;
}
