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

void passWordAdd(const std::string& description, const WalletEntry& entry) {
    if (!DescriptionProblem(description).empty())
        return;
    SaveString(HKEY_CURRENT_USER, settings::kWalletKey, description, description);
    const std::string key = entryKey(description);
    SaveString(HKEY_CURRENT_USER, key, kFieldNames[0], cipher(entry.server));
    SaveString(HKEY_CURRENT_USER, key, kFieldNames[1], cipher(entry.userName));
    SaveString(HKEY_CURRENT_USER, key, kFieldNames[2], cipher(entry.password));
    SaveString(HKEY_CURRENT_USER, key, kFieldNames[3], cipher(entry.notes));
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
