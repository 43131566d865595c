// `tessaly-cli lock FILE...`: locks the files together with the program's lock run, each by its
// size into a .TSL or a .TSW file, after asking for the password twice.
#include "CliSupport.h"
#include "Verb.h"

#include <cstdio>

namespace cli {

namespace {

int lockFiles(const Invocation& invocation, const std::string& password) {
    TerminalPrompt prompt;
    const std::string reg = openRegister();
    const RunFiles run = runFiles(invocation.args);
    core::RunPolicy policy = runPolicy(reg);
    policy.strong = invocation.strong;
    policy.told = [&run](std::size_t i, const core::ItemResult& result) {
        if (result.outcome == core::ItemOutcome::Done)
            std::printf("locked %s -> %s\n", run.args[i].c_str(), hostForm(result.target).c_str());
        else if (!result.reason.empty())
            fail(run.args[i] + ": " + result.reason);
    };
    const core::RunOutcome outcome = core::LockRun(runItems(run), password, policy, prompt);
    // Once for the run: what the disk may keep of the originals a strong lock overwrote.
    if (!outcome.diskWarning.empty())
        fail(outcome.diskWarning);
    const bool allDone = finishRun(outcome, "lock");
    return allDone && run.allFound ? kOk : kFailed;
}

} // namespace

const Verb kLockVerb = {.name = "lock",
                        .synopsis = "[--password-stdin] [--strong] lock FILE...",
                        .summary = "lock each file: below 200000 bytes into a .TSL file, else into a .TSW file\n"
                                   "with --strong: into a strong locked file (.TSX) of every size, content and name\n"
                                   "kept secret (Argon2id key, XChaCha20-Poly1305); the locked file gets a random name",
                        .runWithPassword = lockFiles,
                        .confirmPassword = true};

} // namespace cli
