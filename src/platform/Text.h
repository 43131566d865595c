#pragma once
// Byte-text helpers used on every layer: ASCII case rules (bytes outside A-Z / a-z never change, so
// UTF-8 names keep their other letters as they are), blank trimming and line splitting.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace platform {

inline char lowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char upperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string lowerText(std::string s) {
    for (char& c : s)
        c = lowerChar(c);
    return s;
}

inline std::string upperText(std::string s) {
    for (char& c : s)
        c = upperChar(c);
    return s;
}

inline bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerChar(a[i]) != lowerChar(b[i]))
            return false;
    return true;
}

// The text without the blanks (spaces only; tabs stay) at either end.
inline std::string trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The text's lines without their line ends (LF or CR LF); no line after a final line end.
inline std::vector<std::string> splitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        auto nl = content.find('\n', start);
        if (nl == std::string::npos)
            nl = content.size();
        std::string line = content.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = nl + 1;
    }
    return lines;
}

} // namespace platform
