#include "core/FolderMarks.h"

#include "core/FolderPassword.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"

#include <sys/stat.h>

namespace core {

bool DesktopIniHoldsOnlyClassId(const std::string& content) {
    const std::string classLine = platform::upperText(std::string("CLSID=") + kFolderClassId);
    std::size_t start = 0;
    while (start <= content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string bare;
        for (char c : content.substr(start, end - start))
            if (c != ' ' && c != '\t' && c != '\r')
                bare += c;
        bare = platform::upperText(bare);
        if (!bare.empty() && bare != "[.SHELLCLASSINFO]" && bare != classLine)
            return false;
        start = end + 1;
    }
    return true;
}

void GiveFolderModeBack(const std::string& restoredPath) {
    const std::string name = FolderPasswordValueName(restoredPath);
    platform::RegValue mode;
    if (platform::registry().queryValue(HKEY_CURRENT_USER, settings::kFolderModeKey, name, mode) !=
            platform::kRegSuccess ||
        mode.type != platform::REG_DWORD || mode.data.size() != 4)
        return;
    unsigned bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(mode.data[static_cast<std::size_t>(i)]);
    struct stat st {};
    const std::string host = platform::toHost(restoredPath);
    if (::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::chmod(host.c_str(), bits & 07777) == 0)
        platform::registry().deleteValue(HKEY_CURRENT_USER, settings::kFolderModeKey, name);
}

} // namespace core
