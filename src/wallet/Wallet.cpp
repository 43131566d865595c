#include "wallet/Wallet.h"

#include "core/Scrambler.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"

#include <exception>

namespace wallet {

namespace {

constexpr const char* kFieldNames[] = {"Server", "Username", "Password", "Notes"};
// The sealed description, beside the fields in an entry's subkey.
constexpr const char* kDescriptionName = "Description";
// An entry's id: 16 random bytes as lower-case hex; it names the marker value and the subkey.
constexpr std::size_t kIdLength = 32;

std::string subkeyOf(const std::string& name) {
    return std::string(settings::kWalletKey) + "\\" + name;
}

bool isEntryId(const std::string& name) {
    return name.size() == kIdLength && name.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string newEntryId() {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    for (const char byte : core::RandomBytes(kIdLength / 2)) {
        id.push_back(kHex[static_cast<unsigned char>(byte) >> 4]);
        id.push_back(kHex[static_cast<unsigned char>(byte) & 0x0F]);
    }
    return id;
}

// What a sealed value is bound to: its entry's id and its name there (a value moved to another entry
// or field does not open).
std::string context(const std::string& id, const std::string& name) {
    return std::string("Tessaly wallet entry") + '\0' + id + '\0' + name;
}
// The binding of the fields sealed while entries were named by their description.
std::string describedContext(const std::string& description, const std::string& field) {
    return std::string("Tessaly wallet") + '\0' + platform::lowerText(description) + '\0' + field;
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

// One entry as stored. Entries are named by a random id (a REG_BINARY marker value of that name, and
// a subkey of that name holding the sealed description and fields); earlier entries are named by
// their description in clear (a REG_SZ marker and a subkey of that name), their fields scrambled
// (REG_SZ) or sealed without padding (REG_BINARY). Those are taken over when the wallet opens.
struct StoredEntry {
    std::string marker;                                  // the marker value's name: the id, or the description
    bool current = false;                                // named by an id
    std::optional<platform::RegValue> sealedDescription; // current: as read
    std::optional<std::string> description;              // opened; none when it does not open with the key
};

std::vector<StoredEntry> storedEntries(const core::SealKey* key) {
    std::vector<StoredEntry> out;
    auto& reg = platform::registry();
    if (!reg.keyExists(platform::RegRoot::CurrentUser, settings::kWalletKey))
        return out;
    for (const std::string& marker : reg.valueNames(platform::RegRoot::CurrentUser, settings::kWalletKey)) {
        StoredEntry e;
        e.marker = marker;
        const auto markerValue = readValue(settings::kWalletKey, marker);
        e.current = markerValue && markerValue->type == platform::REG_BINARY;
        if (e.current) {
            e.sealedDescription = readValue(subkeyOf(marker), kDescriptionName);
            if (key && e.sealedDescription && e.sealedDescription->type == platform::REG_BINARY)
                e.description = key->open(e.sealedDescription->data, context(marker, kDescriptionName));
        } else {
            e.description = marker;
        }
        out.push_back(std::move(e));
    }
    return out;
}

// A field of a stored entry as read, and opened (none when it does not open).
struct StoredField {
    std::optional<platform::RegValue> raw;
    std::optional<std::string> plain;
};

StoredField readField(const StoredEntry& e, const char* field, const core::SealKey* key) {
    StoredField f;
    f.raw = readValue(subkeyOf(e.marker), field);
    if (!f.raw)
        f.plain = std::string(); // a missing value reads as empty
    else if (e.current && f.raw->type == platform::REG_BINARY && key)
        f.plain = key->open(f.raw->data, context(e.marker, field));
    else if (!e.current && f.raw->type == platform::REG_SZ)
        f.plain = core::RC4Text(f.raw->data, core::kFixedKey);
    else if (!e.current && f.raw->type == platform::REG_BINARY && key)
        f.plain = key->openUnpadded(f.raw->data, describedContext(e.marker, field));
    return f;
}

// The stored entry a description names: the same text, else the same by the registry's rule (letters
// without regard to case).
const StoredEntry* entryNamed(const std::vector<StoredEntry>& entries, const std::string& description) {
    for (const StoredEntry& e : entries)
        if (e.description && *e.description == description)
            return &e;
    const std::string folded = platform::lowerText(description);
    for (const StoredEntry& e : entries)
        if (e.description && platform::lowerText(*e.description) == folded)
            return &e;
    return nullptr;
}

// The expectation that the wallet is still sealed under the key's salt.
platform::RegExpect saltOf(const core::SealKey& key) {
    return {settings::kWalletSealKey, settings::kWalletSaltValue, platform::RegValue{platform::REG_BINARY, key.salt()}};
}

// Registry changes made in one transaction.
struct Plan {
    std::vector<platform::RegExpect> expected;
    std::vector<platform::RegChange> changes;
    std::vector<std::string> removedKeys;

    void add(const Plan& other) {
        expected.insert(expected.end(), other.expected.begin(), other.expected.end());
        changes.insert(changes.end(), other.changes.begin(), other.changes.end());
        removedKeys.insert(removedKeys.end(), other.removedKeys.begin(), other.removedKeys.end());
    }
    long apply() const {
        return platform::registry().apply(platform::RegRoot::CurrentUser, expected, changes, removedKeys);
    }
};

// Writes a whole entry under its id, sealed with `key`: the marker, the description, the four fields.
void planWrite(Plan& plan, const core::SealKey& key, const std::string& id, const std::string& description,
               const WalletEntry& entry) {
    plan.changes.push_back({settings::kWalletKey, id, platform::RegValue{platform::REG_BINARY, {}}});
    const std::string keyPath = subkeyOf(id);
    plan.changes.push_back(
        {keyPath, kDescriptionName,
         platform::RegValue{platform::REG_BINARY, key.seal(description, context(id, kDescriptionName))}});
    const std::string* fields[] = {&entry.server, &entry.userName, &entry.password, &entry.notes};
    for (int i = 0; i < 4; ++i)
        plan.changes.push_back(
            {keyPath, kFieldNames[i],
             platform::RegValue{platform::REG_BINARY, key.seal(*fields[i], context(id, kFieldNames[i]))}});
}

// Removes an entry named by its description: its marker and its fields; the subkey too, and the key
// its path starts with (a description with "\" made a nested path), unless that is a current entry's.
void planRemoveDescribed(Plan& plan, const StoredEntry& e, const std::vector<StoredEntry>& entries) {
    plan.changes.push_back({settings::kWalletKey, e.marker, std::nullopt});
    for (const char* field : kFieldNames)
        plan.changes.push_back({subkeyOf(e.marker), field, std::nullopt});
    const std::string top = e.marker.substr(0, e.marker.find('\\'));
    for (const StoredEntry& other : entries)
        if (other.current && platform::lowerText(other.marker) == platform::lowerText(top))
            return;
    if (!platform::trimBlanks(top).empty())
        plan.removedKeys.push_back(subkeyOf(top));
}

// Rewrites an entry in the current layout sealed with `to`, after checking that what was read is
// still there. False when a stored value does not open with `from` (it would be lost).
bool planRewrite(Plan& plan, const StoredEntry& e, const core::SealKey* from, const core::SealKey& to,
                 const std::vector<StoredEntry>& entries) {
    if (!e.description)
        return false;
    WalletEntry opened;
    std::string* plains[] = {&opened.server, &opened.userName, &opened.password, &opened.notes};
    for (int i = 0; i < 4; ++i) {
        StoredField f = readField(e, kFieldNames[i], from);
        if (!f.plain)
            return false;
        plan.expected.push_back({subkeyOf(e.marker), kFieldNames[i], f.raw});
        *plains[i] = std::move(*f.plain);
    }
    plan.expected.push_back({settings::kWalletKey, e.marker, readValue(settings::kWalletKey, e.marker)});
    if (e.current) {
        plan.expected.push_back({subkeyOf(e.marker), kDescriptionName, e.sealedDescription});
        planWrite(plan, to, e.marker, *e.description, opened);
    } else {
        planRemoveDescribed(plan, e, entries);
        planWrite(plan, to, newEntryId(), *e.description, opened);
    }
    for (std::string* plain : plains)
        core::WipeString(*plain);
    return true;
}

// Subkeys of the wallet key that no entry's id names (left by an entry named by its description
// whose marker was deleted alone): they would keep a description in clear.
void planSweepNamedSubkeys(Plan& plan) {
    for (const std::string& name : platform::registry().subkeys(platform::RegRoot::CurrentUser, settings::kWalletKey))
        if (!isEntryId(name))
            plan.removedKeys.push_back(subkeyOf(name));
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

        // Entries still named by their description: each written again under an id with everything
        // sealed and padded, and its old values and keys removed, all in one transaction that also
        // checks none of them changed since it was read. One that does not open stays as it is.
        const std::vector<StoredEntry> entries = storedEntries(&key);
        Plan plan;
        plan.expected.push_back(saltOf(key));
        bool allTaken = true;
        for (const StoredEntry& e : entries)
            if (!e.current) {
                Plan one;
                if (planRewrite(one, e, &key, key, entries))
                    plan.add(one);
                else
                    allTaken = false;
            }
        if (allTaken) // nothing named by its description is left to keep
            planSweepNamedSubkeys(plan);
        if (plan.changes.empty() && plan.removedKeys.empty())
            return {};
        const long rc = plan.apply();
        if (rc == platform::kRegSuccess || rc == platform::kRegChanged) // changed: taken over at the next opening
            return {};
        return "the wallet's entries could not be sealed";
    } catch (const std::exception& e) {
        return std::string("the wallet could not be opened: ") + e.what();
    }
}

bool IsWalletOpen() {
    try {
        const core::SealKey* key = core::SessionKey();
        return key && storedSalt() == key->salt();
    } catch (const std::exception&) {
        return false;
    }
}

WalletReseal PrepareReseal(const std::string& newPassword) {
    const core::SealKey* current = core::SessionKey();
    if (!current)
        throw platform::SysError(platform::ErrorKind::InvalidArgument, "The password wallet is not open");
    WalletReseal out;
    const platform::RegValue salt{platform::REG_BINARY, core::RandomSealSalt()};
    out.key = core::SealKey::derive(newPassword, salt.data);
    out.expected.push_back(saltOf(*current));
    out.changes.push_back({settings::kWalletSealKey, settings::kWalletSaltValue, salt});
    const std::vector<StoredEntry> entries = storedEntries(current);
    Plan plan;
    for (const StoredEntry& e : entries)
        if (!planRewrite(plan, e, current, *out.key, entries))
            throw platform::SysError(platform::ErrorKind::InvalidArgument,
                                     e.description ? "The wallet entry '" + *e.description + "' could not be opened"
                                                   : std::string("A wallet entry could not be opened"));
    planSweepNamedSubkeys(plan);
    out.expected.insert(out.expected.end(), plan.expected.begin(), plan.expected.end());
    out.changes.insert(out.changes.end(), plan.changes.begin(), plan.changes.end());
    out.removedKeys = std::move(plan.removedKeys);
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

std::vector<WalletItem> OpenWalletEntries() {
    std::vector<WalletItem> out;
    try {
        const core::SealKey* key = core::SessionKey();
        for (const StoredEntry& e : storedEntries(key)) {
            if (!e.description)
                continue;
            WalletItem item{*e.description, {}};
            std::string* plains[] = {&item.fields.server, &item.fields.userName, &item.fields.password,
                                     &item.fields.notes};
            for (int i = 0; i < 4; ++i)
                *plains[i] = readField(e, kFieldNames[i], key).plain.value_or(std::string());
            out.push_back(std::move(item));
        }
    } catch (const std::exception&) {
        // Registry failures are silent: what could not be read is not listed.
    }
    return out;
}

std::vector<std::string> ListWalletItems() {
    std::vector<std::string> out;
    try {
        for (StoredEntry& e : storedEntries(core::SessionKey()))
            if (e.description)
                out.push_back(std::move(*e.description));
    } catch (const std::exception&) {
        // Registry failures are silent: an unreadable wallet lists nothing.
    }
    return out;
}

std::optional<std::string> ReadWalletField(const std::string& description, const std::string& field) {
    try {
        const core::SealKey* key = core::SessionKey();
        const std::vector<StoredEntry> entries = storedEntries(key);
        const StoredEntry* e = entryNamed(entries, description);
        if (!e || !readValue(subkeyOf(e->marker), field))
            return std::nullopt;
        return readField(*e, field.c_str(), key).plain;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

WalletEntry ReadWalletEntry(const std::string& description) {
    WalletEntry out;
    try {
        const core::SealKey* key = core::SessionKey();
        const std::vector<StoredEntry> entries = storedEntries(key);
        const StoredEntry* e = entryNamed(entries, description);
        if (!e)
            return out;
        std::string* plains[] = {&out.server, &out.userName, &out.password, &out.notes};
        for (int i = 0; i < 4; ++i)
            *plains[i] = readField(*e, kFieldNames[i], key).plain.value_or(std::string());
    } catch (const std::exception&) {
        // Registry failures are silent: what could not be read is empty.
    }
    return out;
}

bool passWordAdd(const std::string& description, const WalletEntry& entry) {
    if (!DescriptionProblem(description).empty())
        return false;
    const core::SealKey* key = core::SessionKey();
    if (!key)
        return false;
    try {
        // An entry of the same description (by the registry's rule) is replaced and keeps its
        // description as first stored; one still named by its description is replaced by one under an id.
        const std::vector<StoredEntry> entries = storedEntries(key);
        const StoredEntry* existing = entryNamed(entries, description);
        Plan plan;
        // Written only while the wallet is still sealed under this key's salt: after the password
        // was changed elsewhere (tessaly-cli password) the entry would never open again.
        plan.expected.push_back(saltOf(*key));
        if (existing && existing->current) {
            planWrite(plan, *key, existing->marker, *existing->description, entry);
        } else {
            if (existing)
                planRemoveDescribed(plan, *existing, entries);
            planWrite(plan, *key, newEntryId(), existing ? *existing->description : description, entry);
        }
        return plan.apply() == platform::kRegSuccess;
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
    try {
        const std::vector<StoredEntry> entries = storedEntries(core::SessionKey());
        const StoredEntry* e = entryNamed(entries, description);
        if (!e)
            return;
        Plan plan;
        if (e->current) {
            plan.changes.push_back({settings::kWalletKey, e->marker, std::nullopt});
            plan.removedKeys.push_back(subkeyOf(e->marker));
        } else {
            planRemoveDescribed(plan, *e, entries);
        }
        plan.apply();
    } catch (const std::exception&) {
        // Registry failures are silent: the entry stays listed.
    }
}

std::string DeleteQuestion(const std::string& description) {
    return "Are you sure you want to delete '" + description + "' password item ?";
}

} // namespace wallet
