#pragma once
// The change-password command of the Options window, on the texts of its three boxes. The window
// passes its boxes' texts in and writes back the new and confirm texts afterwards (they are emptied
// when the two entries differ).

#include <string>

namespace platform {
class Prompt;
}

namespace shell {

struct PasswordChangeFields {
    std::string oldPassword; // txtOldPass
    std::string newPassword; // txtNewPass
    std::string newConfirm;  // txtNewConfirm
};

// Returns true when the new password was stored.
bool ChangeAppPassword(platform::Prompt& prompt, PasswordChangeFields& fields);

// Stores the application password and reads it back: false when the store did not take it (the
// registry could not be written), so that no window reports a password that was never saved.
bool StoreAppPassword(const std::string& password);
// Replaces the application password of an unlocked program: its verifier and the wallet sealed again
// under the new password's key, in one registry transaction. False when nothing was changed.
// Throws platform::SysError when a wallet entry cannot be opened.
bool ReplaceAppPassword(const std::string& newPassword);
// What the user is told when StoreAppPassword or ReplaceAppPassword fails.
inline constexpr const char* kPasswordNotSaved = "The password could not be saved. Please try again.";

} // namespace shell
