// `tessaly-cli unlock FILE...`: unlocks .TSL and .TSW files together, one layer each; a file that
// is not named or made like a locked file is refused before anything reads it.
#include "CliSupport.h"
#include "Verb.h"
#include "core/LockChecks.h"
#include "core/StrongEngine.h"
#include "platform/Text.h"
#include "settings/modFileFunctions.h"

#include <cstdio>

namespace cli {

namespace {

int unlockFiles(const Invocation& invocation, const std::string& password) {
    const std::vector<std::string>& files = invocation.args;
    TerminalPrompt prompt;
    const std::string reg = openRegister();
    const RunFiles run = runFiles(files);
    RunFiles ready;
    bool allNamed = true;
    for (std::size_t i = 0; i < run.paths.size(); ++i) {
        const std::string extension = platform::upperText(GetExtension(run.paths[i]));
        bool strong = false;
        try {
            strong = core::StartsWithStrongHeader(run.paths[i]); // by content, whatever the name
        } catch (const platform::SysError&) {
        }
        if (strong && core::RefuseFileKind(run.paths[i]).empty()) {
            ready.args.push_back(run.args[i]);
            ready.paths.push_back(run.paths[i]);
            continue;
        }
        if (extension == "TSX") {
            // Named as a strong locked file, but its start is not one: damaged, or never one.
            fail(run.args[i] + ": not a strong locked file (it does not begin with the strong header; it may be damaged)");
            allNamed = false;
            continue;
        }
        if (extension != "TSL" && extension != "TSW") {
            fail(run.args[i] + ": not a locked file name (.TSL or .TSW)");
            allNamed = false;
            continue;
        }
        // A pipe or a link named like a locked file is refused before anything reads it.
        const std::string refusal = core::RefuseFileKind(run.paths[i]);
        if (!refusal.empty()) {
            prompt.show(refusal, platform::Buttons::OK, platform::Icon::Exclamation, std::string());
            allNamed = false;
            continue;
        }
        bool locked = false;
        try {
            locked = core::StartsWithLockedHeader(run.paths[i]);
        } catch (const platform::SysError& e) {
            fail(run.args[i] + ": " + e.reason());
            allNamed = false;
            continue;
        }
        if (!locked) {
            fail(run.args[i] + ": not locked (it does not begin with a locked header)");
            allNamed = false;
            continue;
        }
        ready.args.push_back(run.args[i]);
        ready.paths.push_back(run.paths[i]);
    }
    const int before = prompt.shown();
    const std::vector<bool> done = core::UnlockFilesTogether(ready.paths, password, engineContext(prompt, reg));
    for (std::size_t i = 0; i < ready.paths.size(); ++i)
        if (done[i])
            std::printf("unlocked %s\n", ready.args[i].c_str());
    const bool allOk = reportOutcomes(ready, done, before, prompt, "unlock");
    return allOk && allNamed && run.allFound ? kOk : kFailed;
}

} // namespace

const Verb kUnlockVerb = {.name = "unlock",
                          .synopsis = "[--password-stdin] unlock FILE...",
                          .summary =
                              "unlock each .TSL or .TSW file (one layer at a time), and each strong locked file\n"
                              "(known by its content, whatever its name)",
                          .runWithPassword = unlockFiles};

} // namespace cli
