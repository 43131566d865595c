#pragma once
// RC4 under the fixed key, the 6-bit text form of the favourites store, and the stored application
// password.

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

// The stored application password (registry value "RAM"), read in full.
std::string ReadStoredPassword(); // the stored (enciphered) data, "" when absent
bool IsPasswordSet();
void WriteAppPassword(const std::string& password);
bool CheckAppPassword(const std::string& typed);    // RC4Text(stored) == typed
bool CheckOldAppPassword(const std::string& typed); // RC4Text(typed) == stored (the change command)

} // namespace core
