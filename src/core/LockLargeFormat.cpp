// The large format, ".TSW": the header and a carriage return, then the content with only its head
// (the length modulo 32768) enciphered under a fixed key and the rest copied as it is, at copy speed.

#include "core/LockFormat.h"

#include "core/Cipher.h"
#include "core/LockChecks.h"
#include "core/Scrambler.h"
#include "platform/FileIO.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <algorithm>

namespace core {

namespace engine::large {

namespace {

constexpr std::uint64_t kBlock = 32768;
// The unchanged tail is copied in pieces of this size, with a progress call after each.
constexpr std::uint64_t kCopyPiece = 8u << 20;

// The n content bytes of a large locked file, from `in` to `writer` (either direction, RC4 being
// its own inverse): only the head, the length modulo 32768, is enciphered; the rest is copied as it
// is, the disk writing each piece while the next is copied.
void copyLargeContent(platform::InputFile& in, platform::AtomicWriter& writer, std::uint64_t n,
                      const EngineContext& ctx) {
    std::string head(static_cast<std::size_t>(n % kBlock), '\0');
    in.readExact(head.data(), head.size());
    writer.write(RC4Text(head, kFixedKey));
    std::uint64_t done = head.size();
    progress(ctx, done, n);
    while (done < n) {
        const std::uint64_t piece = std::min(kCopyPiece, n - done);
        writer.copyFrom(in, piece);
        writer.startWriteback();
        done += piece;
        progress(ctx, done, n);
    }
}

std::optional<Job> prepareLock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (!FileExists(path) || refuseUnrecordable(ctx, path) || refuse(ctx, RefuseFileLock(ctx, path)))
        return std::nullopt;
    const std::string header = MakeHeader(ctx.salt.empty() ? MakeSalt() : ctx.salt, password);
    // A large locked file is not locked again; a plain file that only carries the name is.
    if (platform::upperText(GetExtension(path)) == "TSW" && StartsWithLockedHeader(path)) {
        ctx.prompt.show(std::string("The file you are trying to lock is already locked.") + kCrLf +
                            "Multiple locking is supported in small files only",
                        Buttons::OK, Icon::None);
        return std::nullopt;
    }
    const std::string target = lockTarget(path, ".TSW");
    if (targetTaken(target)) {
        showTargetTaken(ctx, path, target, true);
        return std::nullopt;
    }

    platform::InputFile in(path);
    const std::uint64_t n = in.size();
    if (n == 0)
        return std::nullopt;

    Job job{path, target, true, RegisterKind::LargeFile, std::make_unique<platform::AtomicWriter>(platform::WinPath(target))};
    const unsigned sourceMode = modeOf(path) | keptWriteBits(path);
    job.writer->setPermissions(sourceMode & ~0222u);
    keepSourceMode(*job.writer, sourceMode);
    job.writer->write(header + "\r");
    copyLargeContent(in, *job.writer, n, ctx);
    return job;
}

std::optional<Job> prepareUnlock(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (refuse(ctx, RefuseFileKind(path)))
        return std::nullopt;
    const std::string header = readFirstLine(path);
    if (!passwordMatches(header, password)) {
        showWrongPassword(ctx, path);
        return std::nullopt;
    }
    const std::uint64_t headerLength = header.size() + 1; // the line and its carriage return

    const std::string target = unlockTarget(path);
    if (target != path && targetTaken(target)) {
        showTargetTaken(ctx, path, target, false);
        return std::nullopt;
    }

    platform::InputFile in(path);
    if (in.size() < headerLength)
        throw platform::SysError(platform::ErrorKind::InputPastEnd);
    const std::uint64_t n = in.size() - headerLength;

    Job job{path, target, false, RegisterKind::LargeFile, std::make_unique<platform::AtomicWriter>(platform::WinPath(target))};
    job.writer->setPermissions(restoredMode(path, modeOf(path)));
    std::string skip(static_cast<std::size_t>(headerLength), '\0');
    in.readExact(skip.data(), skip.size());
    copyLargeContent(in, *job.writer, n, ctx);
    return job;
}

std::string targetOfLock(const std::string& path) {
    return lockTarget(path, ".TSW");
}

// The header and a lone carriage return. The first enciphered byte may be a line feed, which only
// the ".TSW" name tells apart from a small file.
bool inspect(const std::string& path, const std::string& start, std::uint64_t size, LockInfo& info) {
    if (startsWithHeaderLine(start) && platform::upperText(GetExtension(path)) != "TSW")
        return false;
    info.kind = LockInfo::Large;
    info.contentSize = size - (kHeaderLength + 1);
    return true;
}

} // namespace

} // namespace engine::large

constinit const engine::LockFormat engine::kLargeFormat = {.extension = "TSW",
                                                           .kind = RegisterKind::LargeFile,
                                                           .prepareLock = large::prepareLock,
                                                           .prepareUnlock = large::prepareUnlock,
                                                           .lockProcedure = "BigEncription",
                                                           .unlockProcedure = "BigDecrypt",
                                                           .inspect = large::inspect,
                                                           .lockTargetOf = large::targetOfLock};

} // namespace core
