// `tessaly-cli unlock FILE...`: unlocks .TSL and .TSW files together with the program's unlock run,
// one layer each; a file that is not named or made like a locked file is refused before anything
// reads it.
#include "CliSupport.h"
#include "Verb.h"

#include <cstdio>

namespace cli {

namespace {

int unlockFiles(const Invocation& invocation, const std::string& password) {
    TerminalPrompt prompt;
    const std::string reg = openRegister();
    const RunFiles run = runFiles(invocation.args);
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
    return allDone && run.allFound ? kOk : kFailed;
}

} // namespace

const Verb kUnlockVerb = {.name = "unlock",
                          .synopsis = "[--password-stdin] unlock FILE...",
                          .summary =
                              "unlock each .TSL or .TSW file (one layer at a time), and each strong locked file\n"
                              "(known by its content, whatever its name)",
                          .runWithPassword = unlockFiles};

} // namespace cli
