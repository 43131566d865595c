#include "wallet/Wallet.h"

#include "core/Scrambler.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
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

std::string cipher(const std::string& text) {
    return core::RC4Text(text, core::kFixedKey);
}

} // namespace

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

WalletEntry ReadWalletEntry(const std::string& description) {
    // Enciphered fields may hold zero bytes: they are read back in full.
    const std::string key = entryKey(description);
    auto field = [&](const char* name) { return cipher(GetStringFull(HKEY_CURRENT_USER, key, name)); };
    return {field(kFieldNames[0]), field(kFieldNames[1]), field(kFieldNames[2]), field(kFieldNames[3])};
}

bool passWordAdd(const std::string& description, const WalletEntry& entry) {
    if (!DescriptionProblem(description).empty())
        return false;
    const std::string key = entryKey(description);
    const auto sz = [](const std::string& data) { return platform::RegValue{platform::REG_SZ, data}; };
    const std::vector<platform::RegWrite> writes = {
        {settings::kWalletKey, description, sz(description)}, {key, kFieldNames[0], sz(cipher(entry.server))},
        {key, kFieldNames[1], sz(cipher(entry.userName))},    {key, kFieldNames[2], sz(cipher(entry.password))},
        {key, kFieldNames[3], sz(cipher(entry.notes))},
    };
    try {
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
