#include "core/FolderPassword.h"

#include "core/AppPassword.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"

#include <exception>
#include <optional>

namespace core {

namespace {

// The error of a folder password that could not be read (the system's "Device I/O error").
constexpr platform::ErrorKind kPasswordUnreadable = platform::ErrorKind::DeviceIO;

// The folder's stored value, if any. A settings database that cannot be read throws: an unreadable
// password must never pass for no password, which an empty one would match.
std::optional<platform::RegValue> storedValue(const std::string& valueName) {
    platform::RegValue value;
    long rc = platform::kRegBadDatabase;
    try {
        rc = platform::registry().queryValue(HKEY_CURRENT_USER, settings::kFolderPasswordKey, valueName, value);
    } catch (const std::exception&) {
        // Rc stays kRegBadDatabase and is thrown below.
    }
    if (rc == platform::kRegNotFound)
        return std::nullopt;
    if (rc != platform::kRegSuccess)
        throw platform::SysError(kPasswordUnreadable, "The folder's password could not be read",
                                 "the settings database could not be read");
    return value;
}

} // namespace

std::string FolderPasswordValueName(const std::string& restoredPath) {
    if (restoredPath.size() < 3)
        return restoredPath + "\\";
    return restoredPath.substr(0, 3) + "\\" + restoredPath.substr(3);
}

void StoreFolderPassword(const std::string& valueName, const std::string& password) {
    try {
        if (platform::registry().setString(HKEY_CURRENT_USER, settings::kFolderPasswordKey, valueName,
                                           MakeVerifier(password)) == platform::kRegSuccess)
            return;
    } catch (const std::exception& e) {
        throw platform::SysError(platform::ErrorKind::PathFileAccess,
                                 platform::errorDescription(platform::ErrorKind::PathFileAccess), e.what());
    }
    throw platform::SysError(platform::ErrorKind::PathFileAccess);
}

bool HasStoredFolderPassword(const std::string& valueName) {
    return storedValue(valueName).has_value();
}

bool CheckFolderPassword(const std::string& valueName, const std::string& typed) {
    const std::optional<platform::RegValue> value = storedValue(valueName);
    if (!value)
        return typed.empty();
    const std::string stored = value->type == platform::REG_SZ ? value->data : std::string();
    const StoredCheck check = CheckStored(stored, typed);
    if (check == StoredCheck::RightOldLayout) {
        // The old value is replaced by a verifier in the same transaction that checks it is unchanged.
        try {
            platform::registry().apply(
                HKEY_CURRENT_USER, {{settings::kFolderPasswordKey, valueName, value}},
                {{settings::kFolderPasswordKey, valueName, platform::RegValue{platform::REG_SZ, MakeVerifier(typed)}}});
        } catch (const std::exception&) {
            // The password was right; the takeover is tried again at the next check.
        }
    }
    return check != StoredCheck::Wrong;
}

void ForgetFolderPassword(const std::string& restoredPath) {
    if (!restoredPath.empty())
        DeleteValue(HKEY_CURRENT_USER, settings::kFolderPasswordKey, FolderPasswordValueName(restoredPath));
}

} // namespace core
