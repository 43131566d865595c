#include "core/AppPassword.h"

#include "core/Scrambler.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"

#include <sodium.h>

#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>

namespace core {

namespace {

constexpr const char* kVerifierPrefix = crypto_pwhash_argon2id_STRPREFIX;

void initSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("the cryptography library could not start");
}

// The stored value as read, with its type; empty when there is none (or no registry).
std::optional<platform::RegValue> readValue(const std::string& key, const std::string& name) {
    try {
        platform::RegValue value;
        if (platform::registry().queryValue(platform::RegRoot::CurrentUser, key, name, value) == platform::kRegSuccess)
            return value;
    } catch (const std::exception&) {
        // No value read: callers treat it as a password that does not check.
    }
    return std::nullopt;
}

} // namespace

std::string MakeVerifier(const std::string& password) {
    initSodium();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();
    return std::string(out);
}

bool IsVerifier(const std::string& stored) {
    return stored.rfind(kVerifierPrefix, 0) == 0 && stored.size() < crypto_pwhash_STRBYTES &&
           stored.find('\0') == std::string::npos;
}

StoredCheck CheckStored(const std::string& stored, const std::string& typed) {
    if (IsVerifier(stored)) {
        initSodium();
        return crypto_pwhash_str_verify(stored.c_str(), typed.data(), typed.size()) == 0 ? StoredCheck::Right
                                                                                          : StoredCheck::Wrong;
    }
    // The old layout: the password under the fixed-key scrambler, compared in constant time.
    const std::string scrambled = RC4Text(typed, kFixedKey);
    if (scrambled.size() == stored.size() && sodium_memcmp(scrambled.data(), stored.data(), stored.size()) == 0)
        return StoredCheck::RightOldLayout;
    return StoredCheck::Wrong;
}

std::string ReadStoredPassword() {
    const auto value = readValue(settings::kPasswordKey, settings::kPasswordValue);
    return value && value->type == platform::REG_SZ ? value->data : std::string();
}

bool IsPasswordSet() {
    return !ReadStoredPassword().empty();
}

bool WriteAppPassword(const std::string& password) {
    try {
        return platform::registry().setString(platform::RegRoot::CurrentUser, settings::kPasswordKey,
                                              settings::kPasswordValue,
                                              MakeVerifier(password)) == platform::kRegSuccess;
    } catch (const std::exception&) {
        return false;
    }
}

bool CheckAppPassword(const std::string& typed) {
    const auto value = readValue(settings::kPasswordKey, settings::kPasswordValue);
    const std::string stored = value && value->type == platform::REG_SZ ? value->data : std::string();
    const StoredCheck check = CheckStored(stored, typed);
    // (An empty value is the first run's placeholder, not a password to take over.)
    if (check == StoredCheck::RightOldLayout && !stored.empty()) {
        // Taken over now: the verifier replaces the old value, unless another process changed it
        // meanwhile (then what it wrote stands).
        try {
            platform::registry().apply(platform::RegRoot::CurrentUser,
                                       {{settings::kPasswordKey, settings::kPasswordValue, value}},
                                       {{settings::kPasswordKey, settings::kPasswordValue,
                                         platform::RegValue{platform::REG_SZ, MakeVerifier(typed)}}});
        } catch (const std::exception&) {
            // The password was right; the takeover is tried again at the next check.
        }
    }
    return check != StoredCheck::Wrong;
}

} // namespace core
