// The batch engines and the dispatch between formats: which format locks a file, which unlocks
// it, and which a file on disk is.

#include "core/LockFormat.h"

#include "platform/FileIO.h"
#include "platform/Text.h"
#include "settings/modFileFunctions.h"

#include <algorithm>
#include <sys/resource.h>

namespace core {

namespace engine {

// The formats, in the order a file is recognised by. A new format is a line here.
std::span<const LockFormat* const> Formats() {
    static constexpr const LockFormat* kFormats[] = {&kSmallFormat, &kLargeFormat};
    return kFormats;
}

namespace {

// A lock picks its format by size.
const LockFormat& formatForLock(const std::string& path) {
    const bool large = FileExists(path) && platform::fileLength(path) >= kLargeFileThreshold;
    return large ? kLargeFormat : kSmallFormat;
}

// An unlock picks its format by extension: anything no format names is small.
const LockFormat& formatForUnlock(const std::string& path) {
    const std::string extension = platform::upperText(GetExtension(path));
    for (const LockFormat* format : Formats())
        if (extension == format->extension)
            return *format;
    return kSmallFormat;
}

// A batch: each file prepared by its engine (by size for a lock, by extension for an unlock), the
// results completed together in groups small enough to keep their files open.
std::vector<bool> runBatch(const std::vector<std::string>& paths, const std::string& password, const EngineContext& ctx,
                           bool locking, bool stopAtSmallFailure) {
    // A group's results stay open until they are in place: keep well within the open-file limit.
    rlimit files{};
    std::size_t groupFiles = 256;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        groupFiles =
            files.rlim_cur < 96 ? 16 : static_cast<std::size_t>(std::min<rlim_t>((files.rlim_cur - 64) / 2, 1024));
    constexpr std::uint64_t kGroupBytes = 512u << 20;
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
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        const LockFormat& format = locking ? formatForLock(path) : formatForUnlock(path);
        const Messages messages = locking ? format.lockMessages : format.unlockMessages;
        const char* procedure = locking ? format.lockProcedure : format.unlockProcedure;
        const Prepare prepare = locking ? format.prepareLock : format.prepareUnlock;
        if (ctx.nextFile)
            ctx.nextFile(i);
        std::optional<Job> job;
        guarded(ctx, messages, procedure, path, locking, [&] {
            job = prepare(path, password, ctx);
            return true;
        });
        if (!job) {
            if (stopAtSmallFailure && format.failureEndsBatch)
                break;
            continue;
        }
        groupBytes += platform::fileLength(path);
        group.push_back(std::move(*job));
        indexes.push_back(i);
        if (group.size() >= groupFiles || groupBytes >= kGroupBytes)
            flushGroup();
    }
    if (!group.empty())
        flushGroup();
    return results;
}

// One file through one format's engine, its failures reported as the format reports them.
bool runSingle(const LockFormat& format, bool locking, const char* procedure, const std::string& path,
               const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, locking ? format.lockMessages : format.unlockMessages, procedure, path, locking,
                   [&] { return runOne(locking ? format.prepareLock : format.prepareUnlock, path, password, ctx); });
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
