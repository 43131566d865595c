// The strong format, ".TSX" (see StrongFormat.h and docs/strong-locked-file.md), as the batch
// engines see it: its register entries, its messages, and its files prepared through a StrongRun.

#include "core/LockFormat.h"
#include "core/StrongFormat.h"
#include "platform/PinnedSource.h"

#include "platform/SysError.h"
#include "settings/Settings.h"

namespace core {

namespace engine {

bool startsStrong(const std::string& path, const platform::PinnedSource* pinned) {
    try {
        if (pinned)
            return strong::HasMagic(pinned->read(strong::kMagicSize));
        return StartsWithStrongHeader(path);
    } catch (const platform::SysError&) {
        return false;
    }
}

std::optional<Job> prepareStrong(StrongRun& run, const std::string& path, bool locking) {
    std::optional<StrongResult> result = locking ? run.prepareLock(path) : run.prepareUnlock(path);
    if (!result)
        return std::nullopt;
    Job job{path, result->target, locking, RegisterKind::StrongFile, std::move(result->writer)};
    job.takesSourceTimes = false; // sealed inside the locked file, and set from there by its unlock
    return job;
}

namespace strongfile {

namespace {

// A file on its own is a run of its own.
std::optional<Job> prepareLock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    StrongRun run(password, ctx);
    return prepareStrong(run, path, true);
}

std::optional<Job> prepareUnlock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    StrongRun run(password, ctx);
    return prepareStrong(run, path, false);
}

// A strong locked file starts with "[Strong]", never with the header the inspection reads here;
// InspectStrongFile tells about it.
bool inspect(const std::string&, const std::string&, std::uint64_t, LockInfo&) {
    return false;
}

// The name is random, chosen when the file is written.
std::string targetOfLock(const std::string&) {
    return {};
}

} // namespace

} // namespace strongfile

} // namespace engine

// Its failures get the lock and unlock boxes, and a failed unlock may end a batch.
constinit const engine::LockFormat engine::kStrongFormat = {
    .extension = "TSX",
    .kind = RegisterKind::StrongFile,
    .prepareLock = strongfile::prepareLock,
    .prepareUnlock = strongfile::prepareUnlock,
    .lockProcedure = "StrongEncrypt",
    .unlockProcedure = "StrongDecrypt",
    .lockMessages = engine::Messages::Lock,
    .unlockMessages = engine::Messages::Unlock,
    .failureEndsBatch = true,
    .inspect = strongfile::inspect,
    .lockTargetOf = strongfile::targetOfLock,
    .overwritesSource = true,
};

} // namespace core
