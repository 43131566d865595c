#include "shredder/ShredCommands.h"

#include "core/Register.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Prompt.h"
#include "platform/ProtectedPaths.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "settings/modRegistryINI.h"

#include <cstdlib>
#include <exception>

namespace shredder {

std::string CountText(std::size_t count) {
    return "There are " + std::to_string(count) + " files ready for deleting!";
}

bool IsRefused(const std::string& windowsPath) {
    return platform::shredProtectionOf(windowsPath) != platform::Protection::None;
}

std::string RefusalMessage(const std::string& windowsPath) {
    return "'" + windowsPath + "' can't be shredded: it holds your system or Tessaly's own files.";
}

bool RefuseIfProtected(const std::string& windowsPath, platform::Prompt& prompt) {
    if (!IsRefused(windowsPath))
        return false;
    prompt.show(RefusalMessage(windowsPath), platform::Buttons::OK, platform::Icon::Critical);
    return true;
}

std::string HostOf(const std::string& windowsPath) {
    try {
        return platform::pointedEntryHost(platform::toHost(windowsPath));
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string FailureMessage(const std::vector<Failure>& failures) {
    if (failures.empty())
        return std::string();
    std::string text = "These items could not be shredded:\r\n";
    for (const auto& f : failures) {
        std::string shown;
        try {
            shown = platform::toWindows(f.hostPath);
        } catch (const std::exception&) {
        }
        text += "\r\n'" + (shown.empty() ? f.hostPath : shown) + "': " + f.reason;
    }
    return text;
}

void ForgetShredded(const std::string& registerPath, const std::string& windowsPath, platform::Prompt& prompt) {
    if (registerPath.empty() || !platform::exists(registerPath))
        return;
    const std::string inside = AddBackslash(RemoveBackslash(windowsPath));
    const auto covered = [&](const std::string& lockedPath) {
        return lockedPath == windowsPath || lockedPath.compare(0, inside.size(), inside) == 0;
    };
    const struct {
        const char* section;
        std::vector<core::RegisterItem> (*read)(const std::string&, platform::Prompt&, const std::string&);
    } sections[] = {{settings::kSectionTSL, core::GetLockedTSLFiles},
                    {settings::kSectionTSW, core::GetLockedTSWFiles},
                    {settings::kSectionFolder, core::GetLockedFolders}};
    for (const auto& s : sections)
        for (const auto& item : s.read(registerPath, prompt, "frmMain"))
            if (covered(item.key))
                DeleteSettingValue(registerPath, s.section, TransformName(platform::trimBlanks(item.text)));
}

namespace {
// A list's text as a number; false when it is not one.
bool number(const std::string& text, double& value) {
    const std::string t = platform::trimBlanks(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end && *end == '\0';
}
} // namespace

bool ShredSchedule::tick(std::string& hourText, std::string& minuteText) {
    if (m_counter < INT16_MAX)
        ++m_counter;
    if (hourText.empty())
        hourText = "0";
    if (minuteText.empty())
        minuteText = "0";
    double hours = 0;
    double minutes = 0;
    if (!number(hourText, hours) || !number(minuteText, minutes))
        return false;
    if (hours == 0 && minutes == 0)
        return false;
    const double period = static_cast<double>(static_cast<long long>(hours * 60)) + static_cast<long long>(minutes);
    if (period > INT16_MAX || period < INT16_MIN)
        return false; // does not fit the counter: never due
    if (m_counter < period || m_counter < 5)
        return false;
    m_counter = 0;
    return true;
}

} // namespace shredder
