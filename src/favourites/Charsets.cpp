#include "favourites/Charsets.h"

#include "platform/Text.h"

#include <cstdint>

namespace favourites {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// The characters of the bytes 0x80 to 0xFF in Mac Roman (0xDB is the euro sign, as in the charset's
// later form; 0xF0 is the maker's logo in the private use area).
constexpr std::uint16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, // 0x80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, // 0x88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, // 0x90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, // 0x98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, // 0xA0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, // 0xA8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, // 0xB0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, // 0xB8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, // 0xC0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, // 0xC8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, // 0xD0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, // 0xD8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, // 0xE0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, // 0xE8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, // 0xF0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7, // 0xF8
};

} // namespace

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out += kReplacement;
    } else if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool Utf16WithMarkToUtf8(std::string_view bytes, std::string& out) {
    if (bytes.size() < 2)
        return false;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    bool big = false;
    if (byte(0) == 0xFE && byte(1) == 0xFF)
        big = true;
    else if (!(byte(0) == 0xFF && byte(1) == 0xFE))
        return false;
    const auto unit = [&](std::size_t i) { return big ? (byte(i) << 8) | byte(i + 1) : byte(i) | (byte(i + 1) << 8); };
    out.clear();
    out.reserve(bytes.size() / 2);
    std::size_t i = 2;
    while (i + 1 < bytes.size()) {
        const unsigned u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
            const unsigned low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                AppendUtf8(out, 0x10000 + ((static_cast<unsigned long>(u) - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        // A lone surrogate is replaced by AppendUtf8; a zero unit is a character of its own here.
        if (u == 0)
            out.push_back('\0');
        else
            AppendUtf8(out, u);
    }
    if (i < bytes.size())
        out += kReplacement; // an odd byte at the end
    return true;
}

std::string MacRomanToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out.push_back(c);
        else
            AppendUtf8(out, kMacRomanHigh[b - 0x80]);
    }
    return out;
}

bool IsMacRomanName(const std::string& charset) {
    const std::string name = platform::lowerText(platform::trimBlanks(charset));
    for (const char* known : {"macintosh", "mac", "macroman", "csmacintosh", "x-mac-roman", "x-mac-system"})
        if (name == known)
            return true;
    return false;
}

} // namespace favourites
