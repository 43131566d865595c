#include "options/modIEToolBar.h"

#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"

namespace options {

void AddIEButton(const std::string& caption, const AppLocation& app) {
    const std::string exec = ExecutablePath(app);
    const std::string icon = IconPath(app);
    const std::pair<const char*, std::string> values[] = {
        {"ButtonText", caption},     {"CLSID", settings::kIeButtonClsid}, {"Default Visible", "Yes"},
        {"Exec", exec},              {"HotIcon", icon},                   {"Icon", icon},
        {"MenuStatusBar", caption},  {"MenuText", caption},
    };
    for (const auto& [name, text] : values)
        SaveString(HKEY_LOCAL_MACHINE, settings::kIeButtonKey, name, text);
}

void RemoveIEButton() {
    DeleteKey(HKEY_LOCAL_MACHINE, settings::kIeButtonKey);
}

} // namespace options
