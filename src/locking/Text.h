#pragma once
// Small byte-text helpers shared by the locking commands.

#include "platform/Text.h"

#include <string>

namespace locking {

using platform::lowerText;
using platform::upperText;

// The last n characters (all of them when the text is shorter).
inline std::string rightText(const std::string& s, std::size_t n) {
    return s.size() <= n ? s : s.substr(s.size() - n);
}

inline constexpr const char* kCrLf = "\r\n";

} // namespace locking
