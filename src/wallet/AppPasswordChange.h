#pragma once
// Setting and changing the application password, for the window and the command line alike. The
// wallet's key comes from that password, so a change seals the wallet again: the new verifier, a new
// salt and every entry sealed under the new key go into the registry in one transaction.

#include <string>

namespace wallet {

// Stores the application password and reads it back: false when the store did not take it (the
// registry could not be written), so that nobody is told of a password that was never saved.
bool StoreAppPassword(const std::string& password);

// Replaces the application password of an unlocked program (the wallet open): its verifier and the
// wallet sealed again under the new password's key, in one registry transaction, and the new key kept
// for the session. False when nothing was changed. Throws platform::SysError when a wallet entry
// cannot be opened.
bool ReplaceAppPassword(const std::string& newPassword);

// The change after the old password was checked: opens the wallet with the old password when it is
// not open, then replaces the password as above. "" when done, else what went wrong (nothing changed).
std::string ChangeCheckedAppPassword(const std::string& oldPassword, const std::string& newPassword);

// What the user is told when the password could not be stored.
inline constexpr const char* kPasswordNotSaved = "The password could not be saved. Please try again.";

} // namespace wallet
