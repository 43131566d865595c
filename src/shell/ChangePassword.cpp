#include "shell/ChangePassword.h"

#include "core/PasswordRules.h"
#include "core/AppPassword.h"
#include "core/SealKey.h"
#include "diagnostics/ErrorReport.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "settings/Settings.h"
#include "wallet/Wallet.h"

#include <exception>
#include <optional>
#include <utility>

namespace shell {

bool StoreAppPassword(const std::string& password) {
    return core::WriteAppPassword(password) && core::CheckAppPassword(password);
}

bool ReplaceAppPassword(const std::string& newPassword) {
    // The new verifier, the new salt and every wallet field sealed again, in one transaction that
    // also checks that none of them changed since they were read: a crash or a failure leaves the old
    // password and the old wallet, whole.
    wallet::WalletReseal reseal = wallet::PrepareReseal(newPassword);
    platform::RegValue current;
    const long read = platform::registry().queryValue(platform::RegRoot::CurrentUser, settings::kPasswordKey,
                                                      settings::kPasswordValue, current);
    if (read != platform::kRegSuccess && read != platform::kRegNotFound)
        return false;
    reseal.expected.push_back({settings::kPasswordKey, settings::kPasswordValue,
                               read == platform::kRegSuccess ? std::optional(current) : std::nullopt});
    reseal.changes.push_back({settings::kPasswordKey, settings::kPasswordValue,
                              platform::RegValue{platform::REG_SZ, core::MakeVerifier(newPassword)}});
    if (platform::registry().apply(platform::RegRoot::CurrentUser, reseal.expected, reseal.changes) !=
        platform::kRegSuccess)
        return false;
    core::SetSessionKey(std::move(reseal.key));
    return true;
}

bool ChangeAppPassword(platform::Prompt& prompt, PasswordChangeFields& fields) {
    try {
        if (!core::CheckAppPassword(fields.oldPassword)) {
            prompt.show("Invalid Old Password. Try Again", platform::Buttons::OK, platform::Icon::Critical);
            return false;
        }
        if (fields.newPassword == fields.newConfirm && core::IsMissingPassword(fields.newPassword)) {
            prompt.show(core::kTypePasswordMessage, platform::Buttons::OK, platform::Icon::Exclamation);
            return false;
        }
        if (fields.newPassword == fields.newConfirm) {
            if (!core::SessionKey()) {
                // The wallet is opened with the old password first, so that it can be sealed again.
                if (const std::string problem = wallet::OpenWallet(fields.oldPassword); !problem.empty()) {
                    prompt.show(std::string(kPasswordNotSaved) + " (" + problem + ")", platform::Buttons::OK,
                                platform::Icon::Critical);
                    return false;
                }
            }
            std::string problem;
            try {
                if (!ReplaceAppPassword(fields.newPassword))
                    problem = "the settings database could not be written";
            } catch (const std::exception& e) {
                problem = e.what();
            }
            if (!problem.empty()) {
                prompt.show(std::string(kPasswordNotSaved) + " (" + problem + ")", platform::Buttons::OK,
                            platform::Icon::Critical);
                return false;
            }
            prompt.show("Password Successfully changed", platform::Buttons::OK, platform::Icon::None);
            return true;
        }
        fields.newPassword.clear();
        fields.newConfirm.clear();
        prompt.show("New Password and Confirmed are not same. Please verify", platform::Buttons::OK,
                    platform::Icon::None);
    } catch (const platform::SysError& e) {
        ReportError("frmOptions", e.number(), e.description(), "cmdChange_Click");
    } catch (const std::exception& e) {
        ReportError("frmOptions", platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(),
                    "cmdChange_Click");
    }
    return false;
}

} // namespace shell
