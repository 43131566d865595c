#pragma once
// The key that seals what must come back (the wallet's fields): XChaCha20-Poly1305 under a key
// derived from the application password with Argon2id and a random salt. The key's bytes live in
// libsodium's guarded memory (sodium_malloc: locked out of swap, fenced by guard pages, read-only once
// derived, wiped when freed).
//
// The running program holds one such key while it is unlocked (SetSessionKey); locking and quitting
// drop it (ClearSessionKey), which wipes it.

#include <memory>
#include <optional>
#include <string>

namespace core {

inline constexpr std::size_t kSealSaltSize = 16;

class SealKey final {
public:
    // Argon2id at interactive limits. Throws std::bad_alloc when the memory could not be had and
    // std::invalid_argument for a salt of the wrong size.
    static std::unique_ptr<SealKey> derive(const std::string& password, const std::string& salt);
    ~SealKey();
    SealKey(const SealKey&) = delete;
    SealKey& operator=(const SealKey&) = delete;

    // nonce (24 random bytes, fresh for every call) + ciphertext + tag; `context` is bound to it (a
    // sealed value moved to another place does not open there).
    std::string seal(const std::string& plain, const std::string& context) const;
    // The plain text; empty when the value was not sealed by this key for this context.
    std::optional<std::string> open(const std::string& sealed, const std::string& context) const;

private:
    SealKey();
    unsigned char* m_bytes = nullptr; // sodium_malloc'd
};

// A fresh random salt for derive().
std::string RandomSealSalt();

// The key of the unlocked program; null while locked.
const SealKey* SessionKey();
void SetSessionKey(std::unique_ptr<SealKey> key);
void ClearSessionKey();

// Overwrites a string's bytes with zeros (before it is freed or reused).
void WipeString(std::string& text);

// Wipes a buffer when the scope ends, however it ends (a password, a piece of plaintext).
class WipeOnExit final {
public:
    explicit WipeOnExit(std::string& text) : m_text(text) {}
    ~WipeOnExit() { WipeString(m_text); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& m_text;
};

} // namespace core
