#include "core/FolderPassword.h"

#include "settings/Settings.h"
#include "settings/VbRegMod.h"

namespace core {

std::string FolderPasswordValueName(const std::string& restoredPath) {
    if (restoredPath.size() < 3)
        return restoredPath + "\\";
    return restoredPath.substr(0, 3) + "\\" + restoredPath.substr(3);
}

void ForgetFolderPassword(const std::string& restoredPath) {
    if (!restoredPath.empty())
        DeleteValue(HKEY_CURRENT_USER, settings::kFolderPasswordKey, FolderPasswordValueName(restoredPath));
}

} // namespace core
