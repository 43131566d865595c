#include "wallet/Wallet.h"

#include "core/Scrambler.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"

#include <exception>

namespace wallet {

namespace {

constexpr const char* kFieldNames[] = {"Server", "Username", "Password", "Notes"};

std::string entryKey(const std::string& description) {
    return std::string(settings::kWalletKey) + "\\" + description;
}

// What a sealed field is bound to: its entry (as the registry matches names, without regard to case)
// and its field name.
std::string context(const std::string& description, const std::string& field) {
    return std::string("Tessaly wallet") + '\0' + platform::lowerText(description) + '\0' + field;
}

platform::RegValue sealed(const core::SealKey& key, const std::string& description, const std::string& field,
                          const std::string& plain) {
    return {platform::REG_BINARY, key.seal(plain, context(description, field))};
}

// A stored field opened: sealed with the given key, or of the old layout.
std::optional<std::string> openField(const platform::RegValue& value, const core::SealKey* key,
                                     const std::string& description, const std::string& field) {
    if (value.type == platform::REG_SZ)
        return core::RC4Text(value.data, core::kFixedKey);
    if (value.type == platform::REG_BINARY && key)
        return key->open(value.data, context(description, field));
    return std::nullopt;
}

std::optional<platform::RegValue> readValue(const std::string& key, const std::string& name) {
    platform::RegValue value;
    if (platform::registry().queryValue(platform::RegRoot::CurrentUser, key, name, value) == platform::kRegSuccess)
        return value;
    return std::nullopt;
}

std::optional<std::string> storedSalt() {
    const auto v = readValue(settings::kWalletSealKey, settings::kWalletSaltValue);
    if (v && v->type == platform::REG_BINARY && v->data.size() == core::kSealSaltSize)
        return v->data;
    return std::nullopt;
}

} // namespace

std::string OpenWallet(const std::string& password) {
    try {
        // The salt, made once; another process making it at the same moment wins, and its is used.
        std::optional<std::string> salt = storedSalt();
        if (!salt) {
            const platform::RegValue fresh{platform::REG_BINARY, core::RandomSealSalt()};
            const auto before = readValue(settings::kWalletSealKey, settings::kWalletSaltValue);
            const long rc = platform::registry().apply(
                platform::RegRoot::CurrentUser, {{settings::kWalletSealKey, settings::kWalletSaltValue, before}},
                {{settings::kWalletSealKey, settings::kWalletSaltValue, fresh}});
            if (rc != platform::kRegSuccess && rc != platform::kRegChanged)
                return "the wallet's key could not be stored";
            salt = storedSalt();
            if (!salt)
                return "the wallet's key could not be read back";
        }
        core::SetSessionKey(core::SealKey::derive(password, *salt));
        const core::SealKey& key = *core::SessionKey();

        // Fields still in the old layout: each replaced by its sealed form, all in one transaction
        // that also checks none of them changed since it was read.
        std::vector<platform::RegExpect> expected;
        std::vector<platform::RegChange> changes;
        for (const std::string& description : ListWalletItems()) {
            const std::string keyPath = entryKey(description);
            for (const char* field : kFieldNames) {
                const auto value = readValue(keyPath, field);
                if (!value || value->type != platform::REG_SZ)
                    continue;
                std::string plain = core::RC4Text(value->data, core::kFixedKey);
                expected.push_back({keyPath, field, value});
                changes.push_back({keyPath, field, sealed(key, description, field, plain)});
                core::WipeString(plain);
            }
        }
        if (changes.empty())
            return {};
        const long rc = platform::registry().apply(platform::RegRoot::CurrentUser, expected, changes);
        if (rc == platform::kRegSuccess || rc == platform::kRegChanged) // changed: sealed at the next opening
            return {};
        return "the wallet's entries could not be sealed";
    } catch (const std::exception& e) {
        return std::string("the wallet could not be opened: ") + e.what();
    }
}

WalletReseal PrepareReseal(const std::string& newPassword) {
    const core::SealKey* current = core::SessionKey();
    if (!current)
        throw platform::SysError(platform::ErrorKind::InvalidArgument, "The password wallet is not open");
    WalletReseal out;
    const platform::RegValue salt{platform::REG_BINARY, core::RandomSealSalt()};
    out.key = core::SealKey::derive(newPassword, salt.data);
    out.expected.push_back(
        {settings::kWalletSealKey, settings::kWalletSaltValue, readValue(settings::kWalletSealKey, settings::kWalletSaltValue)});
    out.changes.push_back({settings::kWalletSealKey, settings::kWalletSaltValue, salt});
    for (const std::string& description : ListWalletItems()) {
        const std::string keyPath = entryKey(description);
        for (const char* field : kFieldNames) {
            const auto value = readValue(keyPath, field);
            if (!value)
                continue;
            std::optional<std::string> plain = openField(*value, current, description, field);
            if (!plain)
                throw platform::SysError(platform::ErrorKind::InvalidArgument,
                                         "The wallet entry '" + description + "' could not be opened");
            out.expected.push_back({keyPath, field, value});
            out.changes.push_back({keyPath, field, sealed(*out.key, description, field, *plain)});
            core::WipeString(*plain);
        }
    }
    return out;
}

std::string DescriptionProblem(const std::string& description) {
    if (platform::trimBlanks(description).empty())
        return kBlankDescription;
    if (description.find('\\') != std::string::npos)
        return kBackslashDescription;
    return {};
}

bool RefuseDescription(platform::Prompt& prompt, const std::string& description) {
    const std::string problem = DescriptionProblem(description);
    if (problem.empty())
        return false;
    prompt.show(problem, platform::Buttons::OK,
                problem == kBlankDescription ? platform::Icon::None : platform::Icon::Exclamation);
    return true;
}

std::vector<std::string> ListWalletItems() {
    try {
        auto& reg = platform::registry();
        if (!reg.keyExists(HKEY_CURRENT_USER, settings::kWalletKey))
            return {};
        return reg.valueNames(HKEY_CURRENT_USER, settings::kWalletKey);
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<std::string> ReadWalletField(const std::string& description, const std::string& field) {
    try {
        const auto value = readValue(entryKey(description), field);
        if (!value)
            return std::nullopt;
        return openField(*value, core::SessionKey(), description, field);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

WalletEntry ReadWalletEntry(const std::string& description) {
    auto field = [&](const char* name) { return ReadWalletField(description, name).value_or(std::string()); };
    return {field(kFieldNames[0]), field(kFieldNames[1]), field(kFieldNames[2]), field(kFieldNames[3])};
}

bool passWordAdd(const std::string& description, const WalletEntry& entry) {
    if (!DescriptionProblem(description).empty())
        return false;
    const core::SealKey* sessionKey = core::SessionKey();
    if (!sessionKey)
        return false;
    const core::SealKey& k = *sessionKey;
    const std::string key = entryKey(description);
    try {
        const std::vector<platform::RegWrite> writes = {
            {settings::kWalletKey, description, platform::RegValue{platform::REG_SZ, description}},
            {key, kFieldNames[0], sealed(k, description, kFieldNames[0], entry.server)},
            {key, kFieldNames[1], sealed(k, description, kFieldNames[1], entry.userName)},
            {key, kFieldNames[2], sealed(k, description, kFieldNames[2], entry.password)},
            {key, kFieldNames[3], sealed(k, description, kFieldNames[3], entry.notes)},
        };
        return platform::registry().setValues(platform::RegRoot::CurrentUser, writes) == platform::kRegSuccess;
    } catch (const std::exception&) {
        return false;
    }
}

std::string CaseTwin(const std::string& description) {
    for (const std::string& stored : ListWalletItems())
        if (stored != description && platform::lowerText(stored) == platform::lowerText(description))
            return stored;
    return {};
}

std::string ReplaceQuestion(const std::string& existing) {
    return "An entry '" + existing + "' exists. Replace it?";
}

bool SaveEntry(platform::Prompt& prompt, const std::string& description, const WalletEntry& entry,
               bool askBeforeReplacing) {
    if (const std::string twin = askBeforeReplacing ? CaseTwin(description) : std::string();
        !twin.empty() && prompt.show(ReplaceQuestion(twin), platform::Buttons::YesNoDefaultNo,
                                     platform::Icon::Question) != platform::Answer::Yes)
        return false;
    if (!passWordAdd(description, entry)) {
        prompt.show(kNotSaved, platform::Buttons::OK, platform::Icon::Critical);
        return false;
    }
    return true;
}

void DeleteWalletEntry(const std::string& description) {
    // A blank description would name the wallet key itself. A "\" makes the subkey path reach
    // another key ("x\" is read as the subkey of entry "x"): only the marker value of exactly that
    // name goes then.
    if (platform::trimBlanks(description).empty())
        return;
    DeleteValue(HKEY_CURRENT_USER, settings::kWalletKey, description);
    if (description.find('\\') == std::string::npos)
        DeleteKey(HKEY_CURRENT_USER, entryKey(description));
}

std::string DeleteQuestion(const std::string& description) {
    return "Are you sure you want to delete '" + description + "' password item ?";
}

} // namespace wallet
