#include "shredder/ShredCli.h"

#include "platform/AsyncTask.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "platform/ProtectedPaths.h"
#include "shredder/LoosenedModes.h"
#include "shredder/ShredCommands.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>

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

// An item of the command line, pinned before the first is shredded.
struct Item {
    std::string typed;
    std::string path; // Windows form
    ShredEngine::Pin pinned;
    std::vector<Failure> failures; // why it could not be pinned
    std::string refusal; // a message shown when the item is reached, instead of shredding it
};

} // namespace

int ShredCommand(const std::vector<std::string>& hostPaths, const std::string& registerPath) {
    StderrPrompt stderrPrompt;
    platform::Prompt& prompt = stderrPrompt;
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    int status = 0;
    // Permissions an earlier run was killed with widened get their modes back first.
    RestoreLoosenedModes();
    // The protected entries, read once for the whole command.
    const platform::ProtectedSet guard = platform::ProtectedSet::current();

    // Every item is resolved, opened and checked before the first is touched: what a path leads to
    // is fixed now, and a folder swapped for a link while an earlier item is shredded changes nothing.
    // One engine: items of one folder share its descriptor.
    ShredEngine engine(0, guard);
    std::vector<Item> items;
    items.reserve(hostPaths.size());
    for (const auto& hostPath : hostPaths) {
        Item item;
        item.typed = hostPath;
        try {
            // The path means what it means to the system: ".." after a link leads out of the link's target.
            item.path = windowsForm(platform::pointedEntryHost(hostPath));
            if (item.path.empty()) {
                item.refusal = hostPath + ": not on any of the program's drives";
            } else if (IsRefused(item.path)) {
                item.refusal = RefusalMessage(item.path);
            } else {
                const std::size_t before = engine.failures().size();
                item.pinned = engine.pin(HostOf(item.path));
                item.failures.assign(engine.failures().begin() + static_cast<std::ptrdiff_t>(before),
                                     engine.failures().end());
            }
        } catch (const std::exception& e) {
            item.refusal = hostPath + ": " + e.what(); // one item that cannot be looked at stops no other
        }
        items.push_back(std::move(item));
    }

    // What the disks of the items may keep, said once with the result.
    std::vector<std::string> shredded;
    for (auto& item : items) {
        if (!item.refusal.empty()) {
            prompt.show(item.refusal, platform::Buttons::OK, platform::Icon::Critical);
            status = 1;
            continue;
        }
        bool done = false;
        const std::size_t before = engine.failures().size();
        if (item.pinned) {
            const std::uint64_t total = engine.bytesToWrite(item.pinned);
            const std::uint64_t base = engine.written(); // what the items before it wrote
            if (terminal && total >= kProgressFrom) {
                auto run = platform::startAsync([&] { return engine.shred(item.pinned); });
                while (!run.waitFor(std::chrono::milliseconds(250)))
                    std::fprintf(stderr, "\rshredding %s: %3d%%", item.typed.c_str(),
                                 static_cast<int>(std::min(engine.written() - base, total) * 100 / total));
                done = run.take();
                std::fprintf(stderr, "\rshredding %s: %s\n", item.typed.c_str(), done ? "done" : "failed");
            } else {
                done = engine.shred(item.pinned);
            }
            item.pinned.reset(); // its folder is closed once no other item needs it
        }
        if (done) {
            shredded.push_back(item.path);
            if (!ForgetShredded(registerPath, item.path, prompt))
                status = 1;
        } else {
            item.failures.insert(item.failures.end(),
                                 engine.failures().begin() + static_cast<std::ptrdiff_t>(before),
                                 engine.failures().end());
            prompt.show(FailureMessage(item.failures), platform::Buttons::OK, platform::Icon::Critical);
            status = 1;
        }
    }
    if (const std::string warning = DiskWarning(shredded); !warning.empty())
        prompt.show(warning, platform::Buttons::OK, platform::Icon::Information);
    return status;
}

} // namespace shredder
