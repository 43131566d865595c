#include "shredder/ShredCli.h"

#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "platform/ProtectedPaths.h"
#include "shredder/ShredCommands.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <future>

namespace shredder {

namespace {

constexpr std::uint64_t kProgressFrom = 64ull << 20; // items this large show a progress line

// Boxes become lines on standard error.
class StderrPrompt final : public platform::Prompt {
public:
    platform::Answer show(const std::string& text, platform::Buttons, platform::Icon, const std::string&) override {
        std::string line;
        for (char c : text)
            if (c != '\r')
                line += c;
        std::fprintf(stderr, "tessaly-cli: %s\n", line.c_str());
        return platform::Answer::OK;
    }
};

std::string windowsForm(const std::string& host) {
    try {
        return platform::toWindows(host);
    } catch (const std::exception&) {
        return std::string();
    }
}

} // namespace

int ShredCommand(const std::vector<std::string>& hostPaths, const std::string& registerPath) {
    StderrPrompt stderrPrompt;
    platform::Prompt& prompt = stderrPrompt;
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    int status = 0;
    // The protected entries, read once for the whole command.
    const platform::ProtectedSet guard = platform::ProtectedSet::current();
    for (const auto& hostPath : hostPaths) {
        // The path means what it means to the system: ".." after a link leads out of the link's target.
        const std::string path = windowsForm(platform::pointedEntryHost(hostPath));
        if (path.empty()) {
            prompt.show(hostPath + ": not on any of the program's drives");
            status = 1;
            continue;
        }
        if (RefuseIfProtected(path, prompt)) {
            status = 1;
            continue;
        }
        const std::string host = HostOf(path);
        ShredEngine engine(0, guard);
        const std::uint64_t total = engine.bytesToWrite(host);
        bool done = false;
        if (terminal && total >= kProgressFrom) {
            auto run = std::async(std::launch::async, [&] { return engine.shred(host); });
            while (run.wait_for(std::chrono::milliseconds(250)) != std::future_status::ready)
                std::fprintf(stderr, "\rshredding %s: %3d%%", hostPath.c_str(),
                             static_cast<int>(std::min(engine.written(), total) * 100 / total));
            done = run.get();
            std::fprintf(stderr, "\rshredding %s: %s\n", hostPath.c_str(), done ? "done" : "failed");
        } else {
            done = engine.shred(host);
        }
        if (done) {
            ForgetShredded(registerPath, path, prompt);
        } else {
            prompt.show(FailureMessage(engine.failures()));
            status = 1;
        }
    }
    return status;
}

} // namespace shredder
