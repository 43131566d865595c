#pragma once
// Starting Tessaly at login. The program records the choice in the Run value of the registry, and
// the desktop starts it through a freedesktop autostart entry, $XDG_CONFIG_HOME/autostart/
// tessaly.desktop, whose Exec is the installed program. Both are written and removed together.

#include "options/AppLocation.h"

#include <string>

namespace options {

// Host path of the autostart entry.
std::string AutostartEntryPath();

enum class EntryState { Missing, Ours, Foreign };
// Ours: its Exec starts a program of the same name as ours. Foreign: an entry of another program
// that happens to carry the name; it is never overwritten or removed.
EntryState AutostartEntryState(const AppLocation& app);

// True when the Run value holds anything or our autostart entry exists.
bool StartsAtLogin(const AppLocation& app);

// The Exec line's value for a program path, quoted and escaped as desktop entries require.
std::string DesktopExec(const std::string& hostProgram);

// Empty message: done. Otherwise what was not done and why; nothing was changed then.
struct StartChange {
    bool done = false;
    std::string message;
};
StartChange EnableStartAtLogin(const AppLocation& app);
StartChange DisableStartAtLogin(const AppLocation& app);

} // namespace options
