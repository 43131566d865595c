#include "core/SealKey.h"

#include <sodium.h>

#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>

namespace core {

namespace {

constexpr std::size_t kKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr std::size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
static_assert(kSealSaltSize == crypto_pwhash_SALTBYTES);
static_assert(kSealOverhead == kNonceSize + kTagSize);

void initSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("the cryptography library could not start");
}

const unsigned char* bytesOf(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::mutex g_sessionMutex;
std::unique_ptr<SealKey> g_session;

} // namespace

SealKey::SealKey() {
    initSodium();
    m_bytes = static_cast<unsigned char*>(sodium_malloc(kKeySize));
    if (!m_bytes)
        throw std::bad_alloc();
}

SealKey::~SealKey() {
    sodium_free(m_bytes); // wipes the bytes before giving the pages back
}

std::unique_ptr<SealKey> SealKey::derive(const std::string& password, const std::string& salt) {
    if (salt.size() != kSealSaltSize)
        throw std::invalid_argument("a sealing salt of the wrong size");
    std::unique_ptr<SealKey> key(new SealKey());
    if (crypto_pwhash(key->m_bytes, kKeySize, password.data(), password.size(), bytesOf(salt),
                      crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();
    sodium_mprotect_readonly(key->m_bytes); // nothing writes it again
    key->m_salt = salt;
    return key;
}

std::string SealKey::seal(const std::string& plain, const std::string& context) const {
    // The padded copy of the plain text is wiped once it is sealed.
    std::string padded(plain.size() + kSealBlock, '\0');
    std::memcpy(padded.data(), plain.data(), plain.size());
    std::size_t paddedSize = 0;
    if (sodium_pad(&paddedSize, reinterpret_cast<unsigned char*>(padded.data()), plain.size(), kSealBlock,
                   padded.size()) != 0)
        throw std::length_error("a text too long to seal");
    padded.resize(paddedSize);
    std::string out(kNonceSize + padded.size() + kTagSize, '\0');
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    randombytes_buf(o, kNonceSize);
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(o + kNonceSize, &written, bytesOf(padded), padded.size(),
                                               bytesOf(context), context.size(), nullptr, o, m_bytes);
    WipeString(padded);
    out.resize(kNonceSize + static_cast<std::size_t>(written));
    return out;
}

std::optional<std::string> SealKey::openUnpadded(const std::string& sealed, const std::string& context) const {
    if (sealed.size() < kNonceSize + kTagSize)
        return std::nullopt;
    std::string plain(sealed.size() - kNonceSize - kTagSize, '\0');
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(plain.data()), &written, nullptr,
                                                   bytesOf(sealed) + kNonceSize, sealed.size() - kNonceSize,
                                                   bytesOf(context), context.size(), bytesOf(sealed),
                                                   m_bytes) != 0)
        return std::nullopt;
    plain.resize(static_cast<std::size_t>(written));
    return plain;
}

std::optional<std::string> SealKey::open(const std::string& sealed, const std::string& context) const {
    std::optional<std::string> padded = openUnpadded(sealed, context);
    if (!padded)
        return std::nullopt;
    std::size_t size = 0;
    if (sodium_unpad(&size, reinterpret_cast<const unsigned char*>(padded->data()), padded->size(), kSealBlock) != 0) {
        WipeString(*padded);
        return std::nullopt;
    }
    std::string plain = padded->substr(0, size);
    WipeString(*padded);
    return plain;
}

std::string RandomSealSalt() {
    return RandomBytes(kSealSaltSize);
}

std::string RandomBytes(std::size_t count) {
    initSodium();
    std::string bytes(count, '\0');
    randombytes_buf(bytes.data(), bytes.size());
    return bytes;
}

const SealKey* SessionKey() {
    std::lock_guard lock(g_sessionMutex);
    return g_session.get();
}

void SetSessionKey(std::unique_ptr<SealKey> key) {
    std::lock_guard lock(g_sessionMutex);
    g_session = std::move(key);
}

void ClearSessionKey() {
    std::lock_guard lock(g_sessionMutex);
    g_session.reset();
}

void WipeString(std::string& text) {
    if (!text.empty())
        sodium_memzero(text.data(), text.size());
    text.clear();
}

} // namespace core
