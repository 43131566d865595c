#include "shell/ChangePassword.h"

#include "core/AppPassword.h"
#include "core/PasswordRules.h"
#include "diagnostics/ErrorReport.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"

#include <exception>

namespace shell {

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
            if (!core::AcceptShortPassword(prompt, fields.newPassword))
                return false;
            if (const std::string problem = wallet::ChangeCheckedAppPassword(fields.oldPassword, fields.newPassword);
                !problem.empty()) {
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
