#pragma once
// Small byte-text helpers shared by the locking commands.

#include <string>

namespace locking {

inline std::string upperText(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

inline std::string lowerText(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The last n characters (all of them when the text is shorter).
inline std::string rightText(const std::string& s, std::size_t n) {
    return s.size() <= n ? s : s.substr(s.size() - n);
}

inline constexpr const char* kCrLf = "\r\n";

} // namespace locking
