// The batch engines and the dispatch between formats: which format locks a file, which unlocks
// it, and which a file on disk is.

#include "core/LockFormat.h"

#include "core/Register.h"
#include "platform/FileIO.h"
#include "platform/ProtectedPaths.h"
#include "platform/Text.h"
#include "settings/modFileFunctions.h"

#include "core/WorkerPool.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <future>
#include <sys/resource.h>

namespace core {

namespace engine {

// The formats, in the order a file is recognised by. A new format is a line here.
std::span<const LockFormat* const> Formats() {
    static constexpr const LockFormat* kFormats[] = {&kSmallFormat, &kLargeFormat, &kStrongFormat};
    return kFormats;
}

const LockFormat& FormatOfKind(RegisterKind kind) {
    for (const LockFormat* format : Formats())
        if (format->kind == kind)
            return *format;
    return kSmallFormat;
}

namespace {

// A lock picks its format by size (as the batch's pin saw it, when there is one).
const LockFormat& formatForLock(const std::string& path, const platform::PinnedSource* pinned) {
    const bool large = pinned ? pinned->size() >= kLargeFileThreshold
                              : FileExists(path) && platform::fileLength(path) >= kLargeFileThreshold;
    return large ? kLargeFormat : kSmallFormat;
}

// An unlock picks its format by its content when it is strong, else by its extension: anything no
// format names is small.
const LockFormat& formatForUnlock(const std::string& path, const platform::PinnedSource* pinned) {
    if (startsStrong(path, pinned))
        return kStrongFormat;
    const std::string extension = platform::upperText(GetExtension(path));
    for (const LockFormat* format : Formats())
        if (format != &kStrongFormat && extension == format->extension)
            return *format;
    return kSmallFormat;
}

// A batch: each file prepared by its engine (by size for a lock, by extension for an unlock), the
// results completed together in groups small enough to keep their files open.
std::vector<bool> runBatch(const std::vector<std::string>& paths, const std::string& password,
                           const EngineContext& given, bool locking, bool stopAtSmallFailure) {
    // The checks of all its files read the register once: the caller's snapshot, or one of the
    // batch's own (read at the first check that needs it).
    EngineContext ctx = given;
    if (!ctx.registerSnapshot && !ctx.registerPath.empty())
        ctx.registerSnapshot = std::make_shared<RegisterSnapshot>(ctx.registerPath);
    const platform::ProtectionSnapshot protectedPlaces; // read once for the whole batch
    // A group's results and its pinned sources stay open until they are in place: keep well within
    // the open-file limit.
    rlimit files{};
    std::size_t groupFiles = 256;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        groupFiles =
            files.rlim_cur < 96 ? 16 : static_cast<std::size_t>(std::min<rlim_t>((files.rlim_cur - 64) / 3, 1024));
    constexpr std::uint64_t kGroupBytes = 512u << 20;
    // Every file is pinned before the first is changed: a folder swapped for a link, or a file
    // replaced, while the run goes on changes nothing of what the run removes.
    std::vector<std::unique_ptr<platform::PinnedSource>> pins = pinSources(paths);
    std::vector<bool> results(paths.size(), false);
    std::vector<Job> group;
    std::vector<std::size_t> indexes;
    std::uint64_t groupBytes = 0;
    const auto flushGroup = [&] {
        const bool done = guarded(ctx, locking ? Messages::Lock : Messages::Unlock, locking ? "Encrypt" : "Decrypt",
                                  group.front().source, locking, [&] {
                                      completeJobs(group, ctx);
                                      return true;
                                  });
        for (std::size_t i = 0; i < group.size(); ++i)
            results[indexes[i]] = done && group[i].ok;
        group.clear();
        indexes.clear();
        groupBytes = 0;
    };
    const auto addToGroup = [&](Job job, std::size_t index) {
        groupBytes += job.pin ? job.pin->size() : platform::fileLength(job.source);
        group.push_back(std::move(job));
        indexes.push_back(index);
        if (group.size() >= groupFiles || groupBytes >= kGroupBytes)
            flushGroup();
    };

    // Files of a format that stages its work are checked here in order, enciphered on every core,
    // and taken back in order. At most two per worker are in flight, so memory stays bounded. A
    // batch that ends at its first failure stages nothing, so no file after that failure is tried.
    struct InFlight {
        std::size_t index = 0;
        std::string path;
        const LockFormat* format = nullptr;
        std::future<void> done;
        std::function<std::optional<Job>()> finish;
    };
    std::unique_ptr<WorkerPool> pool;
    std::deque<InFlight> inFlight;
    const auto takeOldest = [&] {
        InFlight f = std::move(inFlight.front());
        inFlight.pop_front();
        std::optional<Job> job;
        guarded(ctx, locking ? f.format->lockMessages : f.format->unlockMessages,
                locking ? f.format->lockProcedure : f.format->unlockProcedure, f.path, locking, [&] {
                    f.done.get(); // what the worker threw is handled here, as the engine's own failure
                    job = f.finish();
                    return true;
                });
        if (job) {
            job->pin = std::move(pins[f.index]);
            addToGroup(std::move(*job), f.index);
        }
    };
    const auto takeAll = [&] {
        while (!inFlight.empty())
            takeOldest();
    };
    StrongRun strongRun(password, ctx); // strong locks: one key per run (lock), per salt (unlock)

    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        // The file is opened through its pin first: the checks and the read that follow go through
        // what the pin holds instead of looking the path up again.
        const std::string refusal = openPinned(pins[i].get(), path, locking);
        ctx.pinned = refusal.empty() && pins[i] && pins[i]->isOpen() ? pins[i].get() : nullptr;
        const bool strong = locking && ctx.strongLocks;
        const LockFormat& format = strong    ? kStrongFormat
                                   : locking ? formatForLock(path, ctx.pinned)
                                             : formatForUnlock(path, ctx.pinned);
        const Messages messages = locking ? format.lockMessages : format.unlockMessages;
        const char* procedure = locking ? format.lockProcedure : format.unlockProcedure;
        const Prepare prepare = locking ? format.prepareLock : format.prepareUnlock;
        const Stage stage = stopAtSmallFailure ? nullptr : locking ? format.stageLock : format.stageUnlock;
        // A file prepared in one piece waits for those before it, so messages keep the order of the
        // files.
        if (!stage)
            takeAll();
        if (ctx.nextFile)
            ctx.nextFile(i);
        if (refuse(ctx, refusal)) {
            if (stopAtSmallFailure && format.failureEndsBatch)
                break;
            continue;
        }
        if (stage) {
            if (!pool)
                pool = std::make_unique<WorkerPool>();
            std::optional<StagedWork> staged;
            guarded(ctx, messages, procedure, path, locking, [&] {
                staged = stage(path, password, ctx);
                return true;
            });
            if (!staged)
                continue;
            inFlight.push_back(
                InFlight{i, path, &format, pool->submit(std::move(staged->work)), std::move(staged->finish)});
            while (inFlight.size() > 2 * pool->size())
                takeOldest();
            continue;
        }
        std::optional<Job> job;
        guarded(ctx, messages, procedure, path, locking, [&] {
            job = &format == &kStrongFormat ? prepareStrong(strongRun, path, locking) : prepare(path, password, ctx);
            return true;
        });
        if (!job) {
            if (stopAtSmallFailure && format.failureEndsBatch)
                break;
            continue;
        }
        job->pin = std::move(pins[i]);
        addToGroup(std::move(*job), i);
    }
    takeAll();
    if (!group.empty())
        flushGroup();
    return results;
}

// One file through one format's engine, its failures reported as the format reports them.
bool runSingle(const LockFormat& format, bool locking, const char* procedure, const std::string& path,
               const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, locking ? format.lockMessages : format.unlockMessages, procedure, path, locking,
                   [&] { return runOne(locking ? format.prepareLock : format.prepareUnlock, path, password, ctx, locking); });
}

} // namespace

} // namespace engine

using namespace engine;

bool Encrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return runSingle(kSmallFormat, true, "Encrypt", path, password, ctx);
}

bool Decrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return runSingle(kSmallFormat, false, "Decrypt", path, password, ctx);
}

bool Decrypt1(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return runSingle(kSmallFormat, false, "Decrypt1", path, password, ctx);
}

bool BigEncrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return runSingle(kLargeFormat, true, "BigEncription", path, password, ctx);
}

bool BigDecrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return runSingle(kLargeFormat, false, "BigDecrypt", path, password, ctx);
}

bool BigDecrypt1(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return runSingle(kLargeFormat, false, "BigDecrypt1", path, password, ctx);
}

std::vector<bool> LockFilesTogether(const std::vector<std::string>& paths, const std::string& password,
                                    const EngineContext& ctx) {
    return runBatch(paths, password, ctx, true, false);
}

std::vector<bool> UnlockFilesTogether(const std::vector<std::string>& paths, const std::string& password,
                                      const EngineContext& ctx, bool stopAtSmallFailure) {
    return runBatch(paths, password, ctx, false, stopAtSmallFailure);
}

std::string LockTargetPath(const std::string& path, bool small) {
    return (small ? kSmallFormat : kLargeFormat).lockTargetOf(path);
}

LockInfo InspectFile(const std::string& path) {
    platform::InputFile in(path);
    const std::uint64_t size = in.size();
    LockInfo info;
    info.contentSize = size;

    char head[kHeaderLength + 2] = {};
    const std::size_t got = in.read(head, sizeof head);
    const std::string start(head, got);
    if (!startsWithHeader(start) || start.size() < kHeaderLength + 1 || start[kHeaderLength] != '\r')
        return info;
    for (const LockFormat* format : Formats())
        if (format->inspect(path, start, size, info))
            return info;
    return info;
}

} // namespace core
