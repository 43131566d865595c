// tessaly-cli: locks, unlocks and inspects files and lists the register from a shell, with the
// program's own engines, register, registry and drive table. This file reads the global options
// and hands the rest to the verb named; each verb is a file of its own (Verb.h).

#include "CliSupport.h"
#include "Verb.h"
#include "platform/CoreDumps.h"
#include "platform/Memory.h"
#include "platform/PrivateFiles.h"
#include "platform/SysError.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace cli {

std::span<const Verb* const> Verbs() {
    static constexpr const Verb* kVerbs[] = {&kLockVerb,    &kUnlockVerb, &kInfoVerb,  &kVaultVerb,  &kPasswordVerb,
                                             &kRecoverVerb, &kDriveVerb,  &kShredVerb, &kVersionVerb};
    return kVerbs;
}

} // namespace cli

namespace {

const cli::Verb* findVerb(const std::string& name) {
    for (const cli::Verb* verb : cli::Verbs())
        if (name == verb->name && name[0] != '-')
            return verb;
    return nullptr;
}

// A verb on files with a password: the files are checked for, then the password read.
int runWithPassword(const cli::Verb& verb, const cli::Invocation& invocation) {
    if (invocation.args.empty())
        return cli::usageError(std::string(verb.name) + " needs at least one file");
    std::string password;
    int exitCode = cli::kOk;
    if (!cli::readPassword(invocation.passwordStdin, verb.confirmPassword, password, exitCode))
        return exitCode;
    // Nothing but this password stands between a strong locked file and whoever holds a copy of it.
    if (invocation.strong && !cli::acceptShortPassword(password, !invocation.passwordStdin))
        return cli::kFailed;
    return verb.runWithPassword(invocation, password);
}

} // namespace

int main(int argc, char** argv) {
    // Passwords, keys and unlocked content never go to a core dump.
    platform::DisableCoreDumps();
    platform::KeepFreedMemoryForReuse();
    using namespace cli;
    QCoreApplication app(argc, argv);

    Invocation invocation;
    std::string command;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::fputs(UsageText().c_str(), stdout);
            return kOk;
        }
        if (!optionsEnded && arg == kVersionVerb.name)
            return kVersionVerb.run(invocation);
        if (!optionsEnded && arg == "--password-stdin")
            invocation.passwordStdin = true;
        else if (!optionsEnded && arg == "--strong")
            invocation.strong = true;
        else if (!optionsEnded && arg == "--only") {
            if (i + 1 >= argc)
                return usageError("--only needs the path of a file inside the sealed folder");
            invocation.hasOnly = true;
            invocation.only = argv[++i];
        }
        else if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else if (!optionsEnded && arg.size() > 1 && arg[0] == '-')
            return usageError("unknown option " + arg);
        else if (command.empty())
            command = arg;
        else
            invocation.args.push_back(arg);
    }

    if (command.empty())
        return usageError("no command given");
    const Verb* verb = findVerb(command);
    if (verb == nullptr)
        return usageError("unknown command " + command);
    if (invocation.strong && verb != &kLockVerb)
        return usageError("--strong goes with lock only");
    if (invocation.hasOnly && verb != &kUnlockVerb)
        return usageError("--only goes with unlock only");
    // The program's data goes only to folders of the user's own, made private.
    if (const std::string problem = platform::PrivateFoldersProblem(); !problem.empty()) {
        fail(problem);
        return kFailed;
    }
    platform::TightenPrivateFolders();
    try {
        return verb->run ? verb->run(invocation) : runWithPassword(*verb, invocation);
    } catch (const platform::SysError& e) {
        fail(e.description());
    } catch (const std::exception& e) {
        fail(e.what());
    }
    return kFailed;
}
