#pragma once
// The start of the program: the first-run window when no application password is stored, then the
// login window. Only an accepted password lets the main window load.

namespace platform {
class Prompt;
}

namespace shell {

// True when the password was accepted; false when the user ended the program at either window.
bool RunPasswordGate(platform::Prompt& prompt);

} // namespace shell
