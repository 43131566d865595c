#pragma once
// A sandbox with a register and a scripted prompt for the lock engines, and small helpers.

#include "core/LockEngine.h"
#include "core/Register.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "settings/modRegistryINI.h"
#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>

namespace core_tests {

inline std::string randomContent(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// A name of `length` bytes in UTF-8 (so that a cut may fall inside a character), ending in `tail`.
inline std::string longName(std::size_t length, const std::string& tail) {
    std::string name;
    while (name.size() + tail.size() + 2 <= length)
        name += "\xc3\xa9"; // é
    while (name.size() + tail.size() < length)
        name += 'n';
    return name + tail;
}

// The locked name of a file: its folder, its transformed name and the lock extension.
inline std::string lockedPath(const std::string& path, const char* extension) {
    return AddBackslash(GetFolderPart(path)) + TransformName(GetFileNamePart(path)) + extension;
}

class EngineTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        reg = core::RegisterPath();
        core::EnsureRegister(reg);
    }

    core::EngineContext context(const std::string& salt = {}) {
        core::EngineContext ctx{.prompt = prompt, .registerPath = reg};
        ctx.salt = salt;
        return ctx;
    }

    // Runs `run` with `ctx` in a child process that ends at once, as a kill would end it, when the
    // engine reaches the checkpoint `step` or, at "copying", when its progress has counted at least
    // `copied` bytes. Whether the child ended there.
    static bool stopsAt(const char* step, core::EngineContext ctx,
                        const std::function<void(const core::EngineContext&)>& run, std::uint64_t copied = 0) {
        constexpr int kStopped = 42;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ctx.checkpoint = [step](const char* reached) {
                if (std::strcmp(reached, step) == 0)
                    ::_exit(kStopped);
            };
            if (std::strcmp(step, "copying") == 0)
                ctx.progress = [copied](std::uint64_t done, std::uint64_t) {
                    if (done >= copied)
                        ::_exit(kStopped);
                };
            run(ctx);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == kStopped;
    }

    // The register's value for the entry of `before` of the kind ("" when none).
    std::string entry(core::RegisterKind kind, const std::string& before) const {
        return GetSettingText(reg, sectionName(kind), TransformName(before));
    }

    // The register file's section of each kind, as it stands on disk.
    static const char* sectionName(core::RegisterKind kind) {
        switch (kind) {
        case core::RegisterKind::SmallFile:
            return "LockedTSLFile";
        case core::RegisterKind::LargeFile:
            return "LockedTSWFile";
        case core::RegisterKind::StrongFile:
            return "LockedTSXFile";
        case core::RegisterKind::Folder:
            break;
        }
        return "LockedFolder";
    }

    // Names in a sandbox folder, the desktop's ".hidden" list left out.
    std::set<std::string> listing(const std::string& folder) const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(sandbox.host(folder)))
            if (e.path().filename() != ".hidden")
                names.insert(e.path().filename().string());
        return names;
    }

    // The boxes shown so far, for failure output.
    std::string boxList() const {
        std::string out;
        for (const auto& text : prompt.texts())
            out += "[" + text + "] ";
        return out;
    }

    testing_support::ScriptedPrompt prompt;
    std::string reg;
};

} // namespace core_tests
