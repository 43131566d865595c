// `tessaly-cli recover [FOLDER...]`: finishes or rolls back interrupted lock and unlock runs in the
// given folders and in every folder that holds a registered locked file, and says what it did.
#include "CliSupport.h"
#include "Verb.h"
#include "core/Recovery.h"
#include "core/Register.h"
#include "core/SealedFolder.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "settings/modFileFunctions.h"

#include <cstdio>

namespace cli {

namespace {

// Sweeps the given host folders and every folder the register knows; prints what was done.
int runRecover(const Invocation& invocation) {
    const std::vector<std::string>& folders = invocation.args;
    const std::string reg = registerPath();
    std::vector<std::string> windowsFolders;
    bool allFound = true;
    for (const std::string& arg : folders) {
        std::string path;
        try {
            path = platform::toWindows(arg);
        } catch (const platform::SysError&) {
            // An empty path is refused just below, naming the argument.
        }
        if (path.empty() || !platform::isFolder(path)) {
            fail(arg + ": not a folder on any of the program's drives");
            allFound = false;
            continue;
        }
        windowsFolders.push_back(RemoveBackslash(path));
    }
    if (platform::exists(reg))
        for (std::string& folder : core::RegisterFolders(reg))
            windowsFolders.push_back(std::move(folder));
    const core::RecoveryReport report =
        core::RecoverFolders(platform::exists(reg) ? reg : std::string(), windowsFolders);
    std::string message = core::RecoveryMessage(report);
    for (auto cr = message.find('\r'); cr != std::string::npos; cr = message.find('\r', cr))
        message.erase(cr, 1);
    if (!message.empty())
        std::printf("%s\n", message.c_str());
    // Sealed folders are not in the register: the folders given are looked at for interrupted seals
    // and opens.
    bool sealedOk = true;
    for (const std::string& folder : windowsFolders) {
        const core::sealed::SealedRecovery sealedReport = core::sealed::RecoverSealed(hostForm(folder));
        for (const std::string& line : sealedReport.done)
            std::printf("%s\n", line.c_str());
        for (const std::string& line : sealedReport.failures)
            fail(line);
        sealedOk = sealedOk && sealedReport.failures.empty();
    }
    return report.failures.empty() && allFound && sealedOk ? kOk : kFailed;
}

} // namespace

const Verb kRecoverVerb = {"recover", "recover [FOLDER...]",
                           "finish or roll back lock and unlock runs that were interrupted, in the given\n"
                           "folders and in every folder that holds a registered locked file",
                           runRecover};

} // namespace cli
