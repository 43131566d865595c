#include "wallet/AppPasswordChange.h"

#include "core/AppPassword.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "wallet/Wallet.h"

#include <exception>
#include <optional>
#include <utility>

namespace wallet {

bool StoreAppPassword(const std::string& password) {
    return core::WriteAppPassword(password) && core::CheckAppPassword(password);
}

bool ReplaceAppPassword(const std::string& newPassword) {
    // The new verifier, the new salt and every wallet entry sealed again, in one transaction that
    // also checks that none of them changed since they were read: a crash or a failure leaves the old
    // password and the old wallet, whole.
    WalletReseal reseal = PrepareReseal(newPassword);
    platform::RegValue current;
    const long read = platform::registry().queryValue(platform::RegRoot::CurrentUser, settings::kPasswordKey,
                                                      settings::kPasswordValue, current);
    if (read != platform::kRegSuccess && read != platform::kRegNotFound)
        return false;
    reseal.expected.push_back({settings::kPasswordKey, settings::kPasswordValue,
                               read == platform::kRegSuccess ? std::optional(current) : std::nullopt});
    reseal.changes.push_back({settings::kPasswordKey, settings::kPasswordValue,
                              platform::RegValue{platform::REG_SZ, core::MakeVerifier(newPassword)}});
    if (platform::registry().apply(platform::RegRoot::CurrentUser, reseal.expected, reseal.changes,
                                   reseal.removedKeys) != platform::kRegSuccess)
        return false;
    core::SetSessionKey(std::move(reseal.key));
    return true;
}

std::string ChangeCheckedAppPassword(const std::string& oldPassword, const std::string& newPassword) {
    if (!IsWalletOpen()) {
        // The wallet is opened with the old password first, so that it can be sealed again (also
        // when the key held is of a password another process changed since).
        if (std::string problem = OpenWallet(oldPassword); !problem.empty())
            return problem;
    }
    try {
        if (!ReplaceAppPassword(newPassword))
            return "the settings database could not be written";
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace wallet
