#pragma once
// The change-password command of the Options window, on the texts of its three boxes. The window
// passes its boxes' texts in and writes back the new and confirm texts afterwards (they are emptied
// when the two entries differ).

#include "wallet/AppPasswordChange.h"

#include <string>

namespace platform {
class Prompt;
}

namespace shell {

// Setting and replacing the password live with the wallet, which is sealed again by a change.
using wallet::kPasswordNotSaved;
using wallet::StoreAppPassword;

struct PasswordChangeFields {
    std::string oldPassword; // txtOldPass
    std::string newPassword; // txtNewPass
    std::string newConfirm;  // txtNewConfirm
};

// Returns true when the new password was stored.
bool ChangeAppPassword(platform::Prompt& prompt, PasswordChangeFields& fields);

} // namespace shell
