#include "shell/PasswordGate.h"

#include "core/AppPassword.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "shell/frmNewPassword.h"
#include "shell/frmPassword.h"

namespace shell {

bool RunPasswordGate(platform::Prompt& prompt) {
    if (!core::IsPasswordSet()) {
        // First run: the value exists from now on, empty until a password is set.
        SaveString(HKEY_CURRENT_USER, settings::kPasswordKey, settings::kPasswordValue, std::string());
        frmNewPassword first(prompt);
        if (first.exec() != QDialog::Accepted)
            return false;
    }
    frmPassword login(prompt);
    login.exec();
    return login.accepted();
}

} // namespace shell
