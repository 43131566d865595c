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
// Sealed plain texts are padded to a multiple of this many bytes.
inline constexpr std::size_t kSealBlock = 32;
// What sealing adds beside the padded text: the nonce and the tag.
inline constexpr std::size_t kSealOverhead = 40;

class SealKey final {
public:
    // Argon2id at interactive limits. Throws std::bad_alloc when the memory could not be had and
    // std::invalid_argument for a salt of the wrong size.
    static std::unique_ptr<SealKey> derive(const std::string& password, const std::string& salt);
    ~SealKey();
    SealKey(const SealKey&) = delete;
    SealKey& operator=(const SealKey&) = delete;

    // nonce (24 random bytes, fresh for every call) + ciphertext + tag; `context` is bound to it (a
    // sealed value moved to another place does not open there). The plain text is padded inside the
    // seal to a multiple of kSealBlock bytes (a 0x80 byte, then zeros: ISO/IEC 7816-4), so a sealed
    // value is a multiple of kSealBlock + 40 bytes long and tells the length only to the block.
    std::string seal(const std::string& plain, const std::string& context) const;
    // The plain text; empty when the value was not sealed by this key for this context.
    std::optional<std::string> open(const std::string& sealed, const std::string& context) const;
    // The same for values sealed before plain texts were padded (kept only to take them over).
    std::optional<std::string> openUnpadded(const std::string& sealed, const std::string& context) const;

    // The salt the key was derived with (not secret): a wallet sealed under another salt is not
    // this key's.
    const std::string& salt() const { return m_salt; }

private:
    SealKey();
    unsigned char* m_bytes = nullptr; // sodium_malloc'd
    std::string m_salt;
};

// A fresh random salt for derive().
std::string RandomSealSalt();
// `count` random bytes from the system's generator.
std::string RandomBytes(std::size_t count);

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
