// The small format, ".TSL": the whole content enciphered with the password's header as key,
// stretched to alphabet characters and written in lines of seventy after a header line.

#include "core/LockFormat.h"

#include "core/Cipher.h"
#include "core/LockChecks.h"
#include "core/Scrambler.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <algorithm>
#include <memory>

namespace core {

namespace engine::small {

namespace {

constexpr std::size_t kBodyLineLength = 70;
// No small locked file comes near this size (content below 200000 bytes, a third longer).
constexpr std::uint64_t kMaxSmallLocked = 4u << 20;

// A file's lock and unlock come in two halves: the checks, with their messages, on the caller's
// thread and in file order; the cipher (and for a lock the write), which a batch runs on every core.

// What the checks of a lock found: all the cipher and the write need.
struct LockPlan {
    std::string path;
    std::string target;
    std::string hostTarget;
    std::string header;
    std::string content;
    unsigned mode = 0;
    unsigned sourceMode = 0;
};

std::optional<LockPlan> checkLock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    // A file the batch pinned is a regular file, open: it is read through the pin.
    const platform::PinnedSource* pinned = ctx.pinned;
    if ((!pinned && !FileExists(path)) || refuseUnrecordable(ctx, path) || refuse(ctx, RefuseFileLock(ctx, path)))
        return std::nullopt;
    LockPlan plan;
    plan.content = pinned ? pinned->read() : platform::readAll(path);
    if (plan.content.empty()) {
        ctx.prompt.show(kEmptyFileMessage, Buttons::OK, Icon::Exclamation, kLockErrorTitle);
        return std::nullopt;
    }
    plan.header = MakeHeader(ctx.salt.empty() ? MakeSalt() : ctx.salt, password);
    // A locked small file is locked again in place; anything else, a plain file that merely carries
    // the ".TSL" name included, goes to its transformed name.
    const bool relock = platform::upperText(GetExtension(path)) == "TSL" && startsWithHeaderLine(plan.content);
    plan.target = relock ? path : lockTarget(path, ".TSL");
    if (plan.target != path && targetTaken(plan.target)) {
        showTargetTaken(ctx, path, plan.target, true);
        return std::nullopt;
    }
    plan.path = path;
    plan.hostTarget = platform::toHost(plan.target);
    // The result keeps the source's permission bits, less write (it is read-only).
    plan.sourceMode = (pinned ? pinned->mode() : modeOf(path)) | keptWriteBits(path);
    plan.mode = plan.sourceMode & ~0222u;
    return plan;
}

// Enciphers and writes a checked file; any thread. `ctx` (for the progress) may be null.
Job writeLock(LockPlan plan, const EngineContext* ctx) {
    Cipher cipher;
    cipher.setKeyString(plan.header);
    cipher.setText(std::move(plan.content));
    cipher.DoXor();
    cipher.Stretch();
    const std::string body = cipher.takeText();

    std::string locked;
    locked.reserve(kHeaderLength + 2 + body.size() + (body.size() / kBodyLineLength + 1) * 2);
    locked += plan.header;
    locked += kCrLf;
    for (std::size_t i = 0; i < body.size(); i += kBodyLineLength) {
        locked.append(body, i, kBodyLineLength);
        locked += kCrLf;
    }

    Job job{plan.path, plan.target, true, RegisterKind::SmallFile,
            std::make_unique<platform::AtomicWriter>(platform::HostPath(plan.hostTarget))};
    job.writer->setPermissions(plan.mode);
    keepSourceMode(*job.writer, plan.sourceMode);
    // With a progress to show, in pieces; a worker's file in one write.
    const std::size_t kPiece = ctx ? 64 * 1024 : locked.size();
    for (std::size_t done = 0; done < locked.size();) {
        const std::size_t n = std::min(kPiece, locked.size() - done);
        job.writer->write(locked.data() + done, n);
        done += n;
        if (ctx)
            progress(*ctx, done, locked.size());
    }
    return job;
}

std::optional<Job> prepareLock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    std::optional<LockPlan> plan = checkLock(path, password, ctx);
    if (!plan)
        return std::nullopt;
    return writeLock(std::move(*plan), &ctx);
}

std::optional<StagedWork> stageLock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    std::optional<LockPlan> plan = checkLock(path, password, ctx);
    if (!plan)
        return std::nullopt;
    struct State {
        LockPlan plan;
        std::optional<Job> job;
    };
    auto state = std::make_shared<State>(State{std::move(*plan), std::nullopt});
    return StagedWork{[state] { state->job = writeLock(std::move(state->plan), nullptr); },
                      [state] { return std::move(state->job); }};
}

// What the checks of an unlock found: the header that keys the file, the whole file, and what the
// write needs (the result's two possible places as host paths and its permissions), so that a
// worker can make the result without the drive table.
struct UnlockPlan {
    std::string path;
    std::string header;
    std::string file;
    std::string target;     // where a plain content goes
    std::string hostSource; // where a content that is itself locked goes: in place
    std::string hostTarget;
    unsigned mode = 0;
};

// A locked file's attributes, permissions and ".hidden" entry are never touched before its
// result is in place: a wrong password, a full disk or a damaged file leaves it protected.
std::optional<UnlockPlan> checkUnlock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    // A file the batch pinned is a regular file, open: it is read through the pin.
    const platform::PinnedSource* pinned = ctx.pinned;
    if (!pinned && refuse(ctx, RefuseFileKind(path)))
        return std::nullopt;
    // A small locked file is read whole at once (anything far larger is no small locked file, and
    // only its first line is read).
    std::string file;
    std::string header;
    if ((pinned ? pinned->size() : platform::fileLength(path)) <= kMaxSmallLocked) {
        file = pinned ? pinned->read() : platform::readAll(path);
        if (file.empty())
            throw platform::SysError(platform::ErrorKind::InputPastEnd,
                                     platform::errorDescription(platform::ErrorKind::InputPastEnd),
                                     "the file is empty");
        header = file.substr(0, std::min(file.find_first_of("\r\n"), kMaxHeaderLine));
    } else {
        header = readFirstLine(path);
    }
    if (!passwordMatches(header, password)) {
        showWrongPassword(ctx, path);
        return std::nullopt;
    }
    if (file.empty())
        file = platform::readAll(path);
    // Whether the body can be decoded is seen where it is joined, by the worker that deciphers it.
    const std::string target = unlockTarget(path);
    // The bits the file had when it was locked, with the owner's write.
    return UnlockPlan{path,
                      std::move(header),
                      std::move(file),
                      target,
                      platform::toHost(path),
                      platform::toHost(target),
                      restoredMode(path, pinned ? pinned->mode() : modeOf(path))};
}

// The content of a checked locked file; any thread. nullopt when its body cannot be decoded (a
// line holding anything but the alphabet, or a length no stretched text has).
std::optional<std::string> decipher(UnlockPlan& plan) {
    // The body: every further line, joined without line ends.
    std::string& file = plan.file;
    const std::size_t start = std::min(plan.header.size(), file.size());
    const auto bodyEnd = std::remove_if(file.begin() + static_cast<std::ptrdiff_t>(start), file.end(),
                                        [](char c) { return c == '\r' || c == '\n'; });
    file.erase(bodyEnd, file.end());
    file.erase(0, start);
    if (!Cipher::IsStretched(file))
        return std::nullopt;
    Cipher cipher;
    cipher.setKeyString(plan.header);
    cipher.setText(std::move(file));
    cipher.Shrink();
    cipher.DoXor();
    return cipher.takeText();
}

// The result of an unlock as a worker made it: the content written to a temporary file beside its
// place, or a body found damaged (nothing written: the locked file is kept).
struct Unlocked {
    Job job;
    std::uint64_t size = 0;
    bool damaged = false;
};

// Deciphers a checked locked file and writes its content; any thread. A content that is itself a
// locked file (a whole header line) stays locked in place.
Unlocked writeUnlock(UnlockPlan& plan) {
    std::optional<std::string> deciphered = decipher(plan);
    if (!deciphered)
        return {.job = {}, .size = 0, .damaged = true};
    const std::string content = std::move(*deciphered);
    const bool inPlace = startsWithHeaderLine(content);
    Job job{plan.path, inPlace ? plan.path : plan.target, false, RegisterKind::SmallFile,
            std::make_unique<platform::AtomicWriter>(platform::HostPath(inPlace ? plan.hostSource : plan.hostTarget))};
    job.writer->setPermissions(plan.mode);
    job.writer->write(content);
    return {std::move(job), content.size()};
}

// Takes a written result back on the caller's thread, where its refusal is a message: a place
// another file took (the temporary file then goes with the writer).
std::optional<Job> finishUnlock(Unlocked unlocked, const std::string& path, const EngineContext& ctx) {
    if (unlocked.damaged) {
        ctx.prompt.show("The locked file '" + ShownName(path) + "' is damaged and cannot be unlocked.", Buttons::OK,
                        Icon::Critical);
        return std::nullopt;
    }
    if (!unlocked.job.inPlace() && targetTaken(unlocked.job.target)) {
        showTargetTaken(ctx, path, unlocked.job.target, false);
        return std::nullopt;
    }
    progress(ctx, unlocked.size, unlocked.size);
    return std::move(unlocked.job);
}

std::optional<Job> prepareUnlock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    std::optional<UnlockPlan> plan = checkUnlock(path, password, ctx);
    if (!plan)
        return std::nullopt;
    return finishUnlock(writeUnlock(*plan), path, ctx);
}

std::optional<StagedWork> stageUnlock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    std::optional<UnlockPlan> plan = checkUnlock(path, password, ctx);
    if (!plan)
        return std::nullopt;
    struct State {
        UnlockPlan plan;
        Unlocked unlocked;
    };
    auto state = std::make_shared<State>(State{std::move(*plan), {}});
    return StagedWork{[state] { state->unlocked = writeUnlock(state->plan); },
                      [state, &ctx] { return finishUnlock(std::move(state->unlocked), state->plan.path, ctx); }};
}

// After the header line, lines of alphabet characters only.
bool inspect(const std::string& path, const std::string& start, std::uint64_t size, LockInfo& info) {
    if (!startsWithHeaderLine(start) || size > kMaxSmallLocked)
        return false;
    const std::string file = platform::readAll(path);
    std::uint64_t bodyLength = 0;
    bool wellFormed = true;
    std::size_t i = kHeaderLength + 2;
    while (i < file.size() && wellFormed) {
        auto end = file.find(kCrLf, i);
        if (end == std::string::npos)
            end = file.size();
        wellFormed = end > i && std::all_of(file.begin() + static_cast<std::ptrdiff_t>(i),
                                            file.begin() + static_cast<std::ptrdiff_t>(end), isAlphabet);
        bodyLength += end - i;
        i = end + 2;
    }
    if (wellFormed && bodyLength > 0 && bodyLength % 4 != 1) {
        info.kind = LockInfo::Small;
        info.contentSize = (bodyLength - 1) - (bodyLength - 1) / 4;
        return true;
    }
    return false;
}

// A locked small file (a ".TSL" name and a whole header line) is locked again in place; anything
// else goes to its transformed name.
std::string targetOfLock(const std::string& path) {
    if (platform::upperText(GetExtension(path)) == "TSL" &&
        startsWithHeaderLine(platform::InputFile(path).readUpTo(kHeaderLength + 2)))
        return path;
    return lockTarget(path, ".TSL");
}

} // namespace

} // namespace engine::small

// Its failures get the lock and unlock boxes, and a failed unlock (a wrong password above all) may end
// a batch.
constinit const engine::LockFormat engine::kSmallFormat = {
    .extension = "TSL",
    .kind = RegisterKind::SmallFile,
    .prepareLock = small::prepareLock,
    .prepareUnlock = small::prepareUnlock,
    .lockProcedure = "Encrypt",
    .unlockProcedure = "Decrypt",
    .lockMessages = engine::Messages::Lock,
    .unlockMessages = engine::Messages::Unlock,
    .failureEndsBatch = true,
    .inspect = small::inspect,
    .lockTargetOf = small::targetOfLock,
    .stageLock = small::stageLock,
    .stageUnlock = small::stageUnlock,
};

} // namespace core
