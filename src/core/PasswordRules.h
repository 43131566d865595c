#pragma once
// What every password the program locks with must be: something. An empty password would lock a
// file, a folder or the program itself behind nothing at all, so every lock and the application
// password refuse it with the same words, in the windows and on the command line. A short one is
// taken, but not without a word.

#include "platform/Prompt.h"

#include <cstddef>
#include <string>

namespace core {

inline constexpr const char* kTypePasswordMessage = "Please type a password.";
// A new password is typed twice; the two must match.
inline constexpr const char* kPasswordsDifferMessage = "The two passwords are not the same!";

inline bool IsMissingPassword(const std::string& password) {
    return password.empty();
}

// A new application password or strong-lock password shorter than this many characters is still
// taken, after a word about its strength and a question.
inline constexpr std::size_t kShortPasswordBelow = 8;

// The characters of a UTF-8 text (bytes that do not continue a character).
inline std::size_t PasswordCharacters(const std::string& password) {
    std::size_t n = 0;
    for (const char c : password)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

inline bool IsShortPassword(const std::string& password) {
    return !password.empty() && PasswordCharacters(password) < kShortPasswordBelow;
}

// The line about a short password's strength (the windows show it under the box while it is typed).
inline constexpr const char* kShortPasswordLine = "A password of at least 8 characters is much harder to guess.";

inline std::string ShortPasswordQuestion(const std::string& password) {
    const std::size_t n = PasswordCharacters(password);
    return "This password has only " + std::to_string(n) + (n == 1 ? " character. " : " characters. ") +
           kShortPasswordLine + " Use it anyway?";
}

// Asks before a short password is taken (Yes and No, No the default). True when it may be taken: it
// is not short, or the answer was Yes.
inline bool AcceptShortPassword(platform::Prompt& prompt, const std::string& password) {
    if (!IsShortPassword(password))
        return true;
    return prompt.show(ShortPasswordQuestion(password), platform::Buttons::YesNoDefaultNo,
                       platform::Icon::Exclamation) == platform::Answer::Yes;
}

} // namespace core
