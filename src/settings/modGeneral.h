#pragma once
// The name transform and the drive acceptance rules of the browser pane.

#include <string>

// Letters rotated by 13 keeping case, "=" and "~" swapped, the last character never changed; its own
// inverse. Throws platform::SysError 5 (invalid argument) for an empty text.
std::string TransformName(const std::string& text);
// True when the text, trimmed of blanks, is not empty and equals its upper-case form.
bool IsUpperText(const std::string& text);

// Whether a picked drive can be browsed: the message to show (empty when accepted), its icon kind,
// and whether the drive list falls back to "C:".
struct DriveAcceptance {
    bool accepted = true;
    std::string message; // OK box with the application title
    bool criticalIcon = true;
    std::string fallback; // "C:" (or "c:" after a device-unavailable error); empty when accepted
};
// Reads the kind of the drive named by `drive`'s first two characters plus "\" and applies the rules.
// A device-unavailable error (68) gives "Device Unavailable or not ready. Please try again" without an
// icon and the fallback "c:". Any other platform::SysError propagates: the caller reports it with
// ReportError(..., "drvDrives_Change ") (with its trailing blank).
DriveAcceptance CheckDriveAcceptance(const std::string& drive);
// The rules for a known kind.
DriveAcceptance DriveAcceptanceForKind(int kind);
