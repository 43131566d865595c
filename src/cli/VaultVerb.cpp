// `tessaly-cli vault`: asks for the application password (as the window does; from the terminal or
// with --password-stdin the first line of standard input), then lists the register of locked items,
// a line each: kind, path before the lock, path now.
#include "CliSupport.h"
#include "Verb.h"
#include "core/AppPassword.h"
#include "core/LoginGate.h"
#include "core/Register.h"
#include "core/SealKey.h"
#include "platform/FileIO.h"

#include <cstdio>

namespace cli {

namespace {

int listVault() {
    TerminalPrompt prompt;
    const std::string reg = registerPath();
    if (!platform::exists(reg))
        return kOk; // nothing was ever locked here
    // The readers only report a register they cannot read; here that is a failure to say.
    platform::readAll(reg);
    const int before = prompt.shown();
    const struct {
        const char* kind;
        std::vector<core::RegisterItem> items;
    } sections[] = {{"file (.TSL)", core::GetLockedTSLFiles(reg, prompt, "tessaly-cli")},
                    {"file (.TSW)", core::GetLockedTSWFiles(reg, prompt, "tessaly-cli")},
                    {"file (.TSX)", core::GetLockedTSXFiles(reg, prompt, "tessaly-cli")},
                    {"folder", core::GetLockedFolders(reg, prompt, "tessaly-cli")}};
    for (const auto& section : sections)
        for (const auto& item : section.items)
            std::printf("%s\t%s\t%s\n", section.kind, hostForm(item.text).c_str(), hostForm(item.key).c_str());
    return prompt.shown() == before ? kOk : kFailed;
}

int runVault(const Invocation& invocation) {
    if (!invocation.args.empty())
        return usageError("vault takes no files");
    // The list names what is locked: it is shown only to who knows the application password.
    if (!core::IsPasswordSet()) {
        fail("no application password is set: set it with `tessaly-cli password` (or start Tessaly once)");
        return kUsage;
    }
    std::string password;
    int exitCode = kOk;
    if (!readPassword(invocation.passwordStdin, false, password, exitCode))
        return exitCode;
    const bool right = core::CheckAppPasswordAtGate(password);
    core::WipeString(password);
    if (!right) {
        fail("Invalid Password");
        return kUsage;
    }
    return listVault();
}

} // namespace

const Verb kVaultVerb = {"vault", "vault",
                         "list the register of locked items: kind, path before the lock, path now\n"
                         "(asks for the application password; a wrong one exits with 2)",
                         runVault};

} // namespace cli
