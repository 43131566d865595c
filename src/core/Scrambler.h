#pragma once
// RC4 under the fixed key and the 6-bit text form of the favourites store. (Passwords are no longer
// stored under it: see AppPassword.h; it only reads values of the old layout there.)

#include <string>

namespace core {

inline constexpr const char* kFixedKey = "quenmarov7";

std::string RC4Text(const std::string& text, const std::string& key);
// RC4Text(text, kFixedKey), with the fixed key's keystream worked out once for the process (stores
// scramble many short fields with it).
std::string FixedKeyText(const std::string& text);
// Byte i of the fixed key's keystream.
unsigned char FixedKeyByte(std::size_t i);
std::string BitEncrypt(const std::string& text);
// Throws platform::SysError 5 on a character that BitEncrypt cannot have made.
std::string BitDecrypt(const std::string& text);

} // namespace core
