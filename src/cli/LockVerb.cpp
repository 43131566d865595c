// `tessaly-cli lock FILE...`: locks the files together as the program's lock command does, each
// by its size into a .TSL or a .TSW file, after asking for the password twice.
#include "CliSupport.h"
#include "Verb.h"
#include "core/LockChecks.h"
#include "core/Register.h"
#include "platform/Attributes.h"
#include "platform/FileIO.h"
#include "platform/ProtectedPaths.h"
#include "settings/Settings.h"

#include <cstdio>
#include <memory>

namespace cli {

namespace {

int lockFiles(const Invocation& invocation, const std::string& password) {
    const std::vector<std::string>& files = invocation.args;
    const bool strong = invocation.strong;
    TerminalPrompt prompt;
    const std::string reg = openRegister();
    const platform::ProtectionSnapshot protectedPlaces; // read once for the whole command
    // One read of the register for the checks of every file, here and in the engine; the engine
    // keeps it in step with the entries it records.
    const auto snapshot = std::make_shared<core::RegisterSnapshot>(reg);
    RunFiles run = runFiles(files);
    // As the program's lock command does: attributes off, then the engine by size (all files
    // together). A file that is not locked gets its attributes back.
    std::vector<unsigned> attributes;
    std::vector<std::string> targets;
    RunFiles ready;
    for (std::size_t i = 0; i < run.paths.size(); ++i) {
        const std::string& path = run.paths[i];
        // As the program's lock command does: the checks first.
        const std::string refusal = core::RefuseFileLock(*snapshot, path);
        if (!refusal.empty()) {
            prompt.show(refusal, platform::Buttons::OK, platform::Icon::Exclamation, std::string());
            run.allFound = false;
            continue;
        }
        try {
            const unsigned before = platform::getAttributes(path) & ~platform::kAttrDirectory;
            if (before != platform::kAttrNormal)
                platform::setAttributes(path, platform::kAttrNormal);
            const bool small = platform::fileLength(path) < core::kLargeFileThreshold;
            attributes.push_back(before);
            targets.push_back(core::LockTargetPath(path, small));
            ready.args.push_back(run.args[i]);
            ready.paths.push_back(path);
        } catch (const platform::SysError& e) {
            fail(run.args[i] + ": " + e.description());
            run.allFound = false;
        }
    }
    const int before = prompt.shown();
    core::EngineContext ctx = engineContext(prompt, reg, strong);
    ctx.registerSnapshot = snapshot;
    const std::vector<bool> done = core::LockFilesTogether(ready.paths, password, ctx);
    // A strong locked file's name is drawn at random: the register (as this run recorded it) says
    // which it is.
    if (strong)
        for (const core::RegisterItem& item : snapshot->entries(core::RegisterKind::StrongFile))
            for (std::size_t i = 0; i < ready.paths.size(); ++i)
                if (item.text == ready.paths[i])
                    targets[i] = item.key;
    for (std::size_t i = 0; i < ready.paths.size(); ++i) {
        if (done[i]) {
            std::printf("locked %s -> %s\n", ready.args[i].c_str(), hostForm(targets[i]).c_str());
            continue;
        }
        try {
            if (platform::exists(ready.paths[i]) && attributes[i] != platform::kAttrNormal)
                platform::setAttributes(ready.paths[i], attributes[i]);
        } catch (const platform::SysError& e) {
            fail(ready.args[i] + ": its attributes could not be put back: " + e.description());
        }
    }
    const bool allOk = reportOutcomes(ready, done, before, prompt, "lock");
    return allOk && run.allFound ? kOk : kFailed;
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
