#pragma once
// Text of other encodings turned into UTF-8 for the favourites' files: UTF-16 (shortcut and
// bookmarks files saved as "Unicode" carry a byte-order mark) and Mac Roman, the charset of
// bookmarks files written on older Macs ("x-mac-roman", "X-MAC-SYSTEM"), decoded by our own table so
// that it does not depend on what the system's converter knows.

#include <string>
#include <string_view>

namespace favourites {

// Appends the code point in UTF-8; a code point that is not a character (0, a surrogate, beyond
// U+10FFFF) becomes U+FFFD.
void AppendUtf8(std::string& out, unsigned long codePoint);

// The text after a UTF-16 byte-order mark (FF FE little-endian, FE FF big-endian) in UTF-8, or
// nothing when the text does not start with one. An unpaired surrogate and an odd last byte become
// U+FFFD.
bool Utf16WithMarkToUtf8(std::string_view bytes, std::string& out);

// Mac Roman text in UTF-8: ASCII as it is, each byte from 0x80 by the charset's table.
std::string MacRomanToUtf8(std::string_view bytes);

// Whether a declared charset name stands for Mac Roman: "macintosh", "mac", "macroman",
// "csMacintosh", and the "x-mac-roman" and "x-mac-system" that Mac browsers declared (letters in any
// case).
bool IsMacRomanName(const std::string& charset);

} // namespace favourites
