#include "settings/BrowseForFolder.h"

#include "platform/Dialogs.h"

// The picker opens at the start folder, or at the root folder when no start folder is given.
std::string BrowseForFolder(QWidget* owner, const std::string& promptText, const std::string& rootFolder,
                            const std::string& startFolder) {
    const std::string& start = startFolder.empty() ? rootFolder : startFolder;
    std::string chosen = platform::pickFolder(owner, promptText, start);
    const auto zero = chosen.find('\0');
    if (zero != std::string::npos)
        chosen.erase(zero);
    return chosen;
}
