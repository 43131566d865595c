#include "core/LockRun.h"

#include "core/LockChecks.h"
#include "core/LockEngine.h"
#include "core/Register.h"
#include "core/StrongEngine.h"
#include "core/StrongFormat.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Overwrite.h"
#include "platform/Prompt.h"
#include "platform/ProtectedPaths.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace core {

using platform::Buttons;
using platform::Icon;

namespace {

constexpr int kStepsPerFile = 100;

// A refusal as it is shown: its words, its box, and whether the words name the file.
struct Refusal {
    std::string text;
    Icon icon = Icon::Exclamation;
    std::string title = {};
    bool namesFile = true;
};

// The run's bar, a hundred steps a file: the engine's byte progress moves within a file's part.
class RunBar final {
public:
    RunBar(const RunPolicy& policy, std::size_t files)
        : m_progress(policy.progress), m_total(static_cast<int>(files) * kStepsPerFile) {}

    void stepDone(std::size_t item) const {
        if (m_progress)
            m_progress(static_cast<int>(item + 1) * kStepsPerFile, m_total);
    }

    // The engine's context for a batch: `items` maps the batch's files to the run's items, whose
    // place in the bar the byte progress takes.
    EngineContext context(platform::Prompt& prompt, const RunPolicy& policy, const std::vector<std::size_t>& items,
                          std::shared_ptr<RegisterSnapshot> snapshot = {}) const {
        EngineContext ctx{.prompt = prompt, .registerPath = policy.registerPath, .windowName = policy.windowName};
        ctx.strongLocks = policy.strong;
        ctx.checkpoint = policy.checkpoint;
        ctx.registerSnapshot = std::move(snapshot);
        auto current = std::make_shared<std::size_t>(0);
        ctx.nextFile = [current, &items](std::size_t file) { *current = items[file]; };
        ctx.progress = [&prompt, progress = m_progress, current, total = m_total](std::uint64_t done,
                                                                                  std::uint64_t size) {
            if (progress) {
                const int part = size == 0 ? kStepsPerFile : static_cast<int>(done * kStepsPerFile / size);
                progress(static_cast<int>(*current) * kStepsPerFile + part, total);
            }
            prompt.processEvents();
        };
        return ctx;
    }

private:
    std::function<void(int, int)> m_progress;
    int m_total;
};

void tell(const RunPolicy& policy, RunOutcome& out, std::size_t item, ItemResult result) {
    out.items[item] = std::move(result);
    if (policy.told)
        policy.told(item, out.items[item]);
}

// Shows the refusal, if any, and records it; true when the item is refused.
bool refused(platform::Prompt& prompt, const RunPolicy& policy, RunOutcome& out, std::size_t item, const RunItem& file,
             const Refusal& refusal) {
    if (refusal.text.empty())
        return false;
    const std::string text =
        policy.nameFileInRefusals && !refusal.namesFile ? file.shown + ": " + refusal.text : refusal.text;
    prompt.show(text, Buttons::OK, refusal.icon, refusal.title);
    tell(policy, out, item, {.outcome = ItemOutcome::Refused});
    return true;
}

// A name holding "\" cannot be addressed: the Windows form would read it as a folder separator.
Refusal refuseBackslashName(const RunItem& file, const char* verb) {
    if (file.name.find('\\') == std::string::npos)
        return {};
    return {Quoted(file.shown) + " can't be " + verb + ": its name holds a \"\\\", which Tessaly reads as a " +
            "folder separator. Rename it and try again."};
}

// The checks of a file to be locked, in their order; the attributes and the size are read here.
Refusal refuseLock(const RunItem& file, const RunPolicy& policy, const RegisterSnapshot& snapshot,
                   unsigned& attributes) {
    const std::string path = file.path();
    if (Refusal r = refuseBackslashName(file, "locked"); !r.text.empty())
        return r;
    if (std::string r = RefuseFileLock(snapshot, path); !r.empty())
        return {r};
    if (std::string r = RefuseBootRoot(file.folder); !r.empty())
        return {r, Icon::None, {}, false};
    for (const std::string& own : policy.ownExecutables)
        if (!own.empty() && platform::upperText(path) == platform::upperText(own))
            return {kOwnExecutableMessage, Icon::Exclamation, {}, false};
    attributes = platform::getAttributes(path) & ~platform::kAttrDirectory;
    if (attributes == platform::kAttrSystem)
        return {kSystemFileMessage, Icon::None, {}, false};
    return {};
}

// What a lock run keeps of each file it hands to the engine.
struct ToLock {
    std::vector<std::string> paths;
    std::vector<std::size_t> items;
    std::vector<unsigned> attributes; // as they were before the run cleared them
    std::vector<std::string> targets;
};

// Checks a file and clears its attributes for the engine; true when it goes to the engine.
bool prepareLock(platform::Prompt& prompt, const RunPolicy& policy, RunOutcome& out, std::size_t item,
                 const RunItem& file, const RegisterSnapshot& snapshot, ToLock& toLock) {
    const std::string path = file.path();
    unsigned before = platform::kAttrNormal;
    if (refused(prompt, policy, out, item, file, refuseLock(file, policy, snapshot, before)))
        return false;
    if (before != platform::kAttrNormal)
        platform::setAttributes(path, platform::kAttrNormal);
    const std::uint64_t length = platform::fileLength(path);
    // A strong locked file holds any content, an empty one too.
    if (length == 0 && !policy.strong) {
        if (before != platform::kAttrNormal)
            platform::setAttributes(path, before);
        refused(prompt, policy, out, item, file, {kEmptyFileMessage, Icon::Exclamation, kLockErrorTitle, false});
        return false;
    }
    toLock.paths.push_back(path);
    toLock.items.push_back(item);
    toLock.attributes.push_back(before);
    toLock.targets.push_back(LockTargetPath(path, length < kLargeFileThreshold));
    return true;
}

// A file the engine did not lock gets its attributes back.
void restoreAttributes(const std::string& path, unsigned before) {
    if (before != platform::kAttrNormal && FileExists(path))
        platform::setAttributes(path, before);
}

// What a strong lock tells of the disks its files are on: the first folder whose disk may keep
// copies of an overwritten file decides (one sentence for the run); "" when none may.
std::string diskWarning(const ToLock& toLock) {
    std::vector<std::string> folders;
    for (const std::string& path : toLock.paths) {
        const std::string folder = GetFolderPart(path);
        if (std::find(folders.begin(), folders.end(), folder) != folders.end())
            continue;
        folders.push_back(folder);
        try {
            if (std::string warning =
                    platform::overwriteWarning(platform::overwriteVerdictAt(platform::toHost(folder)));
                !warning.empty())
                return warning;
        } catch (const platform::SysError&) {
            // A folder no drive maps holds no file of the run.
        }
    }
    return {};
}

// The engine over the files that passed the checks, and each file's outcome.
void lockTogether(platform::Prompt& prompt, const RunPolicy& policy, const RunBar& bar, RunOutcome& out, ToLock& toLock,
                  const std::string& password, const std::shared_ptr<RegisterSnapshot>& snapshot) {
    // The engine names each file it could not lock and why; a failure without a message of its own
    // is left for the caller's summary.
    platform::CountingPrompt engineBoxes(prompt);
    const std::vector<bool> done =
        LockFilesTogether(toLock.paths, password, bar.context(engineBoxes, policy, toLock.items, snapshot));
    // A strong locked file's name is drawn at random: the register, as this run recorded it, says
    // which it is.
    if (policy.strong)
        for (const RegisterItem& entry : snapshot->entries(RegisterKind::StrongFile))
            for (std::size_t k = 0; k < toLock.paths.size(); ++k)
                if (entry.text == toLock.paths[k])
                    toLock.targets[k] = entry.key;
    int failures = 0;
    for (std::size_t k = 0; k < toLock.paths.size(); ++k) {
        bar.stepDone(toLock.items[k]);
        if (done[k]) {
            ++out.done;
            tell(policy, out, toLock.items[k], {.outcome = ItemOutcome::Done, .target = toLock.targets[k]});
            continue;
        }
        out.failed = true;
        ++failures;
        ItemResult result{.outcome = ItemOutcome::Failed};
        try {
            restoreAttributes(toLock.paths[k], toLock.attributes[k]);
        } catch (const platform::SysError& e) {
            if (policy.stopAtError)
                throw;
            result.reason = "its attributes could not be put back: " + e.description();
        }
        tell(policy, out, toLock.items[k], result);
    }
    out.unexplained = failures > engineBoxes.shown();
}

// Ends the run at a system error when the policy says so; otherwise the file fails with the
// system's words and the run goes on.
void failOrStop(const RunPolicy& policy, RunOutcome& out, std::size_t item, const platform::SysError& e,
                std::string reason) {
    if (policy.stopAtError)
        throw e;
    out.failed = true;
    tell(policy, out, item, {.outcome = ItemOutcome::Failed, .reason = std::move(reason)});
}

// Why a file is not one to unlock ("" when it is locked), as the policy tests it.
std::string notLocked(const std::string& path, const RunPolicy& policy) {
    if (!policy.strictLockedTest)
        return HasSecretMarker(path) ? std::string() : std::string("not locked");
    // The file's first bytes, read once for both headers.
    std::string start;
    std::optional<platform::SysError> unreadable;
    try {
        start = platform::InputFile(path).readUpTo(std::max(kLockedHeadLength, strong::kMagicSize));
    } catch (const platform::SysError& e) {
        unreadable = e; // the name decides first; a name that needs the header reports it
    }
    if (!unreadable && strong::HasMagic(start.substr(0, strong::kMagicSize)))
        return {}; // by content, whatever the name
    const std::string extension = platform::upperText(GetExtension(path));
    // Named as a strong locked file, but its start is not one: damaged, or never one.
    if (extension == "TSX")
        return "not a strong locked file (it does not begin with the strong header; it may be damaged)";
    if (extension != "TSL" && extension != "TSW")
        return "not a locked file name (.TSL or .TSW)";
    if (unreadable)
        throw *unreadable;
    if (!IsLockedHeaderStart(start))
        return "not locked (it does not begin with a locked header)";
    return {};
}

} // namespace

std::string RunItem::path() const {
    return AddBackslash(folder) + name;
}

std::string RefuseBootRoot(const std::string& folder) {
    return platform::lowerText(AddBackslash(folder)) == "c:\\" ? kBootRootMessage : "";
}

bool HasSecretMarker(const std::string& path) {
    const std::string start = platform::InputFile(path).readUpTo(8);
    return start == kSecretMarker || strong::HasMagic(start);
}

RunOutcome LockRun(const std::vector<RunItem>& items, const std::string& password, const RunPolicy& policy,
                   platform::Prompt& prompt) {
    RunOutcome out;
    out.items.resize(items.size());
    const RunBar bar(policy, items.size());
    const platform::ProtectionSnapshot protectedPlaces; // read once for the whole run
    std::string path;
    try {
        // One read of the register serves the checks of every file, here and in the engine.
        const auto snapshot = std::make_shared<RegisterSnapshot>(policy.registerPath);
        // The checks run file by file; the files that pass are then locked together (one flush for
        // all of them), and a file that could not be locked gets its attributes back.
        ToLock toLock;
        for (std::size_t i = 0; i < items.size(); ++i) {
            path = items[i].path();
            try {
                if (prepareLock(prompt, policy, out, i, items[i], *snapshot, toLock))
                    continue;
            } catch (const platform::SysError& e) {
                failOrStop(policy, out, i, e, e.description());
            }
            bar.stepDone(i);
            prompt.processEvents();
        }
        if (policy.strong)
            out.diskWarning = diskWarning(toLock);
        lockTogether(prompt, policy, bar, out, toLock, password, snapshot);
    } catch (const platform::SysError& e) {
        out.error = e;
        out.errorPath = path;
        out.stopped = true;
    }
    return out;
}

namespace {

// A large locked file's name ends in "TSW" (in any case).
bool endsInTsw(const std::string& path) {
    return path.size() >= 3 && platform::upperText(path.substr(path.size() - 3)) == "TSW";
}

// The locked files met so far, unlocked together when a file with a message of its own comes, or
// at the end.
class PendingUnlock final {
public:
    PendingUnlock(platform::Prompt& prompt, const RunPolicy& policy, const RunBar& bar, RunOutcome& out,
                  const std::string& password)
        : m_prompt(prompt), m_policy(policy), m_bar(bar), m_out(out), m_password(password),
          // Strong locked files of one lock run share their salt: one key for the whole run.
          m_strongKeys(std::make_shared<strong::KeyCache>(password)) {}

    void add(std::size_t item, std::string path) {
        m_items.push_back(item);
        m_paths.push_back(std::move(path));
    }

    // Unlocks what is pending; false when a failure ended the run.
    bool unlock() {
        if (m_paths.empty())
            return true;
        platform::CountingPrompt engineBoxes(m_prompt);
        EngineContext ctx = m_bar.context(engineBoxes, m_policy, m_items);
        ctx.strongKeys = m_strongKeys;
        const std::vector<bool> done = UnlockFilesTogether(m_paths, m_password, ctx, m_policy.stopAtSmallFailure);
        bool goOn = true;
        int failures = 0;
        for (std::size_t k = 0; k < m_paths.size() && goOn; ++k) {
            if (done[k]) {
                ++m_out.done;
                tell(m_policy, m_out, m_items[k], {.outcome = ItemOutcome::Done});
            } else {
                m_out.failed = true;
                ++failures;
                // A large file that fails lets the run go on; a small one ends it when the policy says so.
                if (m_policy.stopAtSmallFailure && !endsInTsw(m_paths[k]))
                    goOn = false;
                tell(m_policy, m_out, m_items[k], {.outcome = ItemOutcome::Failed});
            }
            if (goOn)
                m_bar.stepDone(m_items[k]);
        }
        if (failures > engineBoxes.shown())
            m_out.unexplained = true;
        m_items.clear();
        m_paths.clear();
        m_out.stopped = m_out.stopped || !goOn;
        return goOn;
    }

private:
    platform::Prompt& m_prompt;
    const RunPolicy& m_policy;
    const RunBar& m_bar;
    RunOutcome& m_out;
    const std::string& m_password;
    std::shared_ptr<strong::KeyCache> m_strongKeys;
    std::vector<std::size_t> m_items;
    std::vector<std::string> m_paths;
};

// Sorts one file of an unlock run: missing, refused, not locked (each told at once) or pending.
// False when unlocking what was pending before it ended the run.
bool sortForUnlock(platform::Prompt& prompt, const RunPolicy& policy, RunOutcome& out, std::size_t item,
                   const RunItem& file, PendingUnlock& pending) {
    const std::string path = file.path();
    if (!FileExists(path)) {
        tell(policy, out, item, {.outcome = ItemOutcome::Missing});
        return true;
    }
    Refusal refusal = refuseBackslashName(file, "unlocked");
    if (refusal.text.empty())
        refusal.text = RefuseFileKind(path);
    if (refused(prompt, policy, out, item, file, refusal))
        return true;
    std::string why;
    try {
        why = notLocked(path, policy);
    } catch (const platform::SysError& e) {
        failOrStop(policy, out, item, e, e.reason());
        return true;
    }
    if (why.empty()) {
        pending.add(item, path);
        return true;
    }
    // Earlier files are unlocked first, so that their messages come before this one's.
    if (!pending.unlock())
        return false;
    tell(policy, out, item, {.outcome = ItemOutcome::NotLocked, .reason = policy.strictLockedTest ? why : ""});
    return true;
}

} // namespace

RunOutcome UnlockRun(const std::vector<RunItem>& items, const std::string& password, const RunPolicy& policy,
                     platform::Prompt& prompt) {
    RunOutcome out;
    out.items.resize(items.size());
    const RunBar bar(policy, items.size());
    std::string path;
    try {
        // Locked files are unlocked together (one flush for all of them), in runs between the files
        // that get a message of their own, so that messages keep the files' order.
        PendingUnlock pending(prompt, policy, bar, out, password);
        for (std::size_t i = 0; i < items.size(); ++i) {
            path = items[i].path();
            if (!sortForUnlock(prompt, policy, out, i, items[i], pending))
                return out;
            if (out.items[i].outcome != ItemOutcome::NotTried)
                bar.stepDone(i);
        }
        pending.unlock();
    } catch (const platform::SysError& e) {
        out.error = e;
        out.errorPath = path;
        out.stopped = true;
    }
    return out;
}

} // namespace core
