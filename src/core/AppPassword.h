#pragma once
// How passwords are checked without keeping them: a one-way verifier (Argon2id, libsodium's
// crypto_pwhash_str) for the application password and for each locked folder's password. A value in
// the old layout (the password under the fixed-key scrambler) is still accepted once, and the same
// registry transaction replaces it by a verifier.

#include <string>

namespace core {

// Argon2id at libsodium's interactive limits: each check costs a fraction of a second and 64 MiB.
// Throws std::bad_alloc when the memory could not be had.
std::string MakeVerifier(const std::string& password);
// Whether a stored value is a verifier (as opposed to an old-layout value).
bool IsVerifier(const std::string& stored);

enum class StoredCheck {
    Wrong,
    Right,          // matched a verifier
    RightOldLayout, // matched an old-layout value, which the caller replaces
};
StoredCheck CheckStored(const std::string& stored, const std::string& typed);

// The application password's stored value (registry value "RAM"): its verifier, an old-layout
// value not yet taken over, or "" when absent (an empty value is a first run's placeholder).
std::string ReadStoredPassword();
bool IsPasswordSet();
// Stores the verifier of a new application password. False when the registry could not be written.
bool WriteAppPassword(const std::string& password);
// True when `typed` is the application password; an old-layout value it matches is replaced by a
// verifier in the same transaction.
bool CheckAppPassword(const std::string& typed);

} // namespace core
