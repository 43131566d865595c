// `tessaly-cli password`: sets the application password as the first start does, or changes it after
// the old one as Options' Change Password does, sealing the password wallet again under the new
// password in the same registry transaction. On the terminal it asks (the new password twice); with
// --password-stdin the first line is the old password (when one is set) and the next line the new one.
#include "CliSupport.h"
#include "Verb.h"
#include "core/AppPassword.h"
#include "core/LoginGate.h"
#include "core/PasswordRules.h"
#include "core/SealKey.h"
#include "wallet/AppPasswordChange.h"

#include <cstdio>
#include <iostream>

namespace cli {

namespace {

// One password: the next line of standard input, or asked on the terminal without echo.
bool readLine(bool fromStdin, const char* label, std::string& out) {
    if (!fromStdin)
        return askPassword(label, out);
    if (!std::getline(std::cin, out))
        return false;
    if (!out.empty() && out.back() == '\r')
        out.pop_back();
    return true;
}

int runPassword(const Invocation& invocation) {
    if (!invocation.args.empty())
        return usageError("password takes no files");
    const bool fromStdin = invocation.passwordStdin;
    const char* missing =
        fromStdin ? "no password on standard input" : "no terminal to ask for the password (use --password-stdin)";
    std::string oldPassword, newPassword, confirmation;
    const core::WipeOnExit wipeOld(oldPassword), wipeNew(newPassword), wipeConfirmation(confirmation);

    // A change is for who knows the password now: checked as every try is, after the wait that
    // wrong ones earned.
    const bool change = core::IsPasswordSet();
    if (change) {
        if (!readLine(fromStdin, "Old password: ", oldPassword))
            return usageError(missing);
        if (!core::CheckAppPasswordAtGate(oldPassword)) {
            fail("Invalid Old Password. Try Again");
            return kUsage;
        }
    }
    if (!readLine(fromStdin, "New password: ", newPassword))
        return usageError(missing);
    if (!fromStdin) {
        askPassword("Confirm new password: ", confirmation);
        if (confirmation != newPassword) {
            fail(change ? "New Password and Confirmed are not same. Please verify"
                        : "New Password and Confirmed password are not same. Please verify");
            return kFailed;
        }
    }
    // The first start takes no password of blanks only; a change takes none that is empty.
    const bool nothing =
        change ? core::IsMissingPassword(newPassword) : newPassword.find_first_not_of(' ') == std::string::npos;
    if (nothing) {
        fail(core::kTypePasswordMessage);
        return kUsage;
    }
    if (!acceptShortPassword(newPassword, !fromStdin))
        return kFailed;

    if (!change) {
        if (!wallet::StoreAppPassword(newPassword)) {
            fail(wallet::kPasswordNotSaved);
            return kFailed;
        }
        std::printf("Password Successfully set\n");
        return kOk;
    }
    const std::string problem = wallet::ChangeCheckedAppPassword(oldPassword, newPassword);
    core::ClearSessionKey();
    if (!problem.empty()) {
        fail(std::string(wallet::kPasswordNotSaved) + " (" + problem + ")");
        return kFailed;
    }
    std::printf("Password Successfully changed\n");
    return kOk;
}

} // namespace

const Verb kPasswordVerb = {"password", "[--password-stdin] password",
                            "set the application password, or change it after the old one; the password\n"
                            "wallet is sealed again under the new one (with --password-stdin: the old\n"
                            "password on the first line when one is set, the new one on the next)",
                            runPassword};

} // namespace cli
