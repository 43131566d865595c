#pragma once
// What every password the program locks with must be: something. An empty password would lock a
// file, a folder or the program itself behind nothing at all, so every lock and the application
// password refuse it with the same words, in the windows and on the command line.

#include <string>

namespace core {

inline constexpr const char* kTypePasswordMessage = "Please type a password.";
// A new password is typed twice; the two must match.
inline constexpr const char* kPasswordsDifferMessage = "The two passwords are not the same!";

inline bool IsMissingPassword(const std::string& password) {
    return password.empty();
}

} // namespace core
