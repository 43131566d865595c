#pragma once
// New passwords for the wallet, drawn from the system's random source: a length and the classes of
// characters to draw from, at least one character of every chosen class.

#include <string>

namespace wallet {

enum CharacterClass : unsigned {
    kUpperCase = 1u << 0, // A-Z
    kLowerCase = 1u << 1, // a-z
    kDigits = 1u << 2,    // 0-9
    kSymbols = 1u << 3,   // punctuation a keyboard has, no blank
};

inline constexpr int kMinGeneratedLength = 4;
inline constexpr int kMaxGeneratedLength = 128;
inline constexpr int kDefaultGeneratedLength = 20;

// The characters of a class.
std::string ClassCharacters(CharacterClass characterClass);
// A password of `length` characters (kept between kMinGeneratedLength and kMaxGeneratedLength, and
// at least the number of classes) from the chosen classes; "" when no class is chosen.
std::string GeneratePassword(int length, unsigned classes);

} // namespace wallet
