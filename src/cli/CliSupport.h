#pragma once
// What the tessaly-cli verbs share: the exit statuses, the usage text put together from the verbs'
// own lines, messages on standard error, file arguments turned into the program's paths, the
// password, the register and the engine context.

#include "TerminalPrompt.h"
#include "core/LockEngine.h"
#include "core/LockRun.h"
#include "platform/SysError.h"

#include <functional>
#include <string>
#include <vector>

namespace cli {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// The whole usage text: every verb's synopsis and summary, the options, the exit statuses.
std::string UsageText();
// Says what was wrong with the command line and where the usage text is; returns kUsage.
int usageError(const std::string& message);
void fail(const std::string& what);

// A host path for display; the Windows form when no drive holds it.
std::string hostForm(const std::string& windowsPath);
// The Windows-form path of an existing file on the command line, or "" after saying why not.
std::string fileArgument(const std::string& hostPath);

// From standard input or the terminal; `confirm` (a lock) refuses an empty password and, on the
// terminal, asks twice. False with the exit code set when there is no password to use.
bool readPassword(bool fromStdin, bool confirm, std::string& password, int& exitCode);

// A new password (a strong lock's, the application's) shorter than 8 characters: its strength is said
// on standard error, then asked about on the terminal ("Use it anyway? [y/N] "). Read from standard
// input, it is taken after that line. False when the user said no (and said so).
bool acceptShortPassword(const std::string& password, bool fromTerminal);

core::EngineContext engineContext(TerminalPrompt& prompt, const std::string& registerPath, bool strong = false);
// The register's path: in the program's system folder, which must lie on one of its drives.
std::string registerPath();
// The register, created when missing.
std::string openRegister();

// Runs `act` on the Windows-form path of each file argument; a file that cannot be handled is
// reported and the others still run.
template <class Act> int eachFile(const std::vector<std::string>& files, Act&& act) {
    bool allOk = true;
    for (const std::string& arg : files) {
        const std::string path = fileArgument(arg);
        bool ok = false;
        if (!path.empty()) {
            try {
                ok = act(arg, path);
            } catch (const platform::SysError& e) {
                fail(arg + ": " + e.reason());
            }
        }
        allOk = allOk && ok;
    }
    return allOk ? kOk : kFailed;
}

// The files of a run that can be handled, in order, with their arguments; the others are reported.
struct RunFiles {
    std::vector<std::string> args;
    std::vector<std::string> paths;
    bool allFound = true;
};
RunFiles runFiles(const std::vector<std::string>& files);

// The files of a run as the lock and unlock runs take them: each named in messages by its argument.
std::vector<core::RunItem> runItems(const RunFiles& run);
// What the command line asks of a run: it goes on after a file's failure, names the file in every
// refusal, and refuses the program's own executables (this one and the window program beside it).
core::RunPolicy runPolicy(const std::string& registerPath);
// What a run calls at each step of the engine: nothing in the program; the test build of the
// command (tests/cli/hooked) acts there, as a test asks it to.
std::function<void(const char* step)> StepHook();

// The end of a run: a system error that stopped it, or failures without a message of their own,
// get a line. True when every file was done.
bool finishRun(const core::RunOutcome& outcome, const char* verb);

} // namespace cli
