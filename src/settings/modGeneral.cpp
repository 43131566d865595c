#include "settings/modGeneral.h"

#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/SysError.h"
#include "platform/Text.h"

namespace {

using platform::lowerChar;
using platform::upperChar;

// Letters go 13 places on, as upper case; "=" and "~" swap; anything else stays.
char rotated(char c) {
    if (c == '=')
        return '~';
    if (c == '~')
        return '=';
    const char u = upperChar(c);
    if (u >= 'A' && u <= 'Z')
        return static_cast<char>('A' + (u - 'A' + 13) % 26);
    return c;
}

} // namespace

std::string TransformName(const std::string& text) {
    if (text.empty())
        throw platform::SysError(platform::ErrorKind::InvalidArgument);
    std::string out = text;
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        const char c = out[i];
        const char r = rotated(c);
        out[i] = IsUpperText(std::string(1, c)) ? r : lowerChar(r);
    }
    return out;
}

bool IsUpperText(const std::string& text) {
    const std::string trimmed = platform::trimBlanks(text);
    if (trimmed.empty())
        return false;
    for (char c : trimmed)
        if (upperChar(c) != c)
            return false;
    return true;
}

DriveAcceptance DriveAcceptanceForKind(int kind) {
    DriveAcceptance result;
    switch (kind) {
    case platform::DriveUnknown:
        result.message = "The drive you selected is an unidentified drive and you cannot lock files and folders on "
                         "this drive";
        break;
    case platform::DriveNoRoot:
        result.message = "The drive you selected is currently not Present so you cannot lock files and folders on "
                         "this drive";
        break;
    case platform::DriveRamDisk:
        result.message = "The drive you selected is a RAMDisk drive and you cannot lock files and folders on this "
                         "drive";
        break;
    default:
        return result;
    }
    result.accepted = false;
    result.criticalIcon = true;
    result.fallback = "C:";
    return result;
}

DriveAcceptance CheckDriveAcceptance(const std::string& drive) {
    try {
        return DriveAcceptanceForKind(platform::drives().kind(drive.substr(0, 2) + "\\"));
    } catch (const platform::SysError& e) {
        if (e.kind != platform::ErrorKind::DeviceUnavailable)
            throw;
        DriveAcceptance result;
        result.accepted = false;
        result.message = "Device Unavailable or not ready. Please try again";
        result.criticalIcon = false;
        result.fallback = "c:";
        return result;
    }
}
