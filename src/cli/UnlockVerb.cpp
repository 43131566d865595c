// `tessaly-cli unlock FILE...`: unlocks .TSL and .TSW files together with the program's unlock run,
// one layer each; a file that is not named or made like a locked file is refused before anything
// reads it.
#include "CliSupport.h"
#include "SealedFolders.h"
#include "Verb.h"

#include <cstdio>

namespace cli {

namespace {

int unlockFiles(const Invocation& invocation, const std::string& password) {
    if (invocation.hasOnly) {
        if (invocation.args.size() != 1)
            return usageError("unlock --only PATH takes one sealed folder");
        if (!isSealedArgument(invocation.args[0])) {
            fail(invocation.args[0] + ": not a sealed folder");
            return kFailed;
        }
        return takeOneOut(invocation.args[0], invocation.only, password) ? kOk : kFailed;
    }
    // A sealed folder (known by its content) gives its tree back; the rest goes to the unlock run.
    std::vector<std::string> files;
    bool openedAll = true;
    for (const std::string& arg : invocation.args)
        if (isSealedArgument(arg))
            openedAll = openSealed(arg, password) && openedAll;
        else
            files.push_back(arg);
    if (files.empty())
        return openedAll ? kOk : kFailed;
    TerminalPrompt prompt;
    const std::string reg = openRegister();
    const RunFiles run = runFiles(files);
    core::RunPolicy policy = runPolicy(reg);
    policy.strictLockedTest = true;
    policy.told = [&run](std::size_t i, const core::ItemResult& result) {
        if (result.outcome == core::ItemOutcome::Done)
            std::printf("unlocked %s\n", run.args[i].c_str());
        else if (result.outcome == core::ItemOutcome::Missing)
            fail(run.args[i] + ": no such file");
        else if (!result.reason.empty())
            fail(run.args[i] + ": " + result.reason);
    };
    const bool allDone = finishRun(core::UnlockRun(runItems(run), password, policy, prompt), "unlock");
    return allDone && run.allFound && openedAll ? kOk : kFailed;
}

} // namespace

const Verb kUnlockVerb = {.name = "unlock",
                          .synopsis = "[--password-stdin] unlock [--only PATH] FILE...",
                          .summary =
                              "unlock each .TSL or .TSW file (one layer at a time), and each strong locked file\n"
                              "(known by its content, whatever its name); a sealed folder gives its tree back\n"
                              "with --only PATH: take that one file out of a sealed folder, beside it, and keep\n"
                              "the seal as it is",
                          .runWithPassword = unlockFiles};

} // namespace cli
