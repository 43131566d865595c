#include "core/StrongEngine.h"

#include "core/LockChecks.h"
#include "core/LockEngine.h"
#include "core/LockFormat.h"
#include "core/Register.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/PinnedSource.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <cerrno>
#include <sys/stat.h>

namespace core {

namespace {

using platform::Buttons;
using platform::Icon;

const char* const kCrLf = "\r\n";
// Plain content is read in pieces of this size; the disk starts writing after each few of them.
constexpr std::size_t kReadPiece = 1u << 20;
constexpr std::uint64_t kWritebackEvery = 8u << 20;

void progress(const EngineContext& ctx, std::uint64_t done, std::uint64_t total) {
    if (ctx.progress)
        ctx.progress(done, total);
}

bool refuse(const EngineContext& ctx, const std::string& refusal) {
    if (refusal.empty())
        return false;
    ctx.prompt.show(refusal, Buttons::OK, Icon::Exclamation);
    return true;
}

bool exists(const std::string& path) {
    struct stat st {};
    if (::lstat(platform::toHost(path).c_str(), &st) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throw platform::sysErrorFromErrno(errno, platform::toHost(path));
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    if (::stat(platform::toHost(path).c_str(), &st) != 0)
        return 0600;
    return st.st_mode & 07777;
}

platform::FileTimes timesOf(const platform::InputFile& in, const std::string& path) {
    struct stat st {};
    if (::fstat(in.fd(), &st) != 0)
        throw platform::sysErrorFromErrno(errno, platform::toHost(path));
    return platform::timesOf(st);
}

strong::Stamp stampOf(const platform::FileTimes& times, unsigned mode) {
    return strong::Stamp{times.modified.tv_sec, static_cast<std::uint32_t>(times.modified.tv_nsec),
                         times.accessed.tv_sec, static_cast<std::uint32_t>(times.accessed.tv_nsec), mode & 07777};
}

platform::FileTimes timesOf(const strong::Stamp& stamp) {
    platform::FileTimes times;
    times.modified.tv_sec = static_cast<time_t>(stamp.modifiedSeconds);
    times.modified.tv_nsec = static_cast<long>(stamp.modifiedNanoseconds);
    times.accessed.tv_sec = static_cast<time_t>(stamp.accessedSeconds);
    times.accessed.tv_nsec = static_cast<long>(stamp.accessedNanoseconds);
    return times;
}

void showRefusal(const EngineContext& ctx, strong::Refusal refusal, const std::string& path) {
    if (refusal == strong::Refusal::NotVerified)
        ctx.prompt.show(strong::RefusalMessage(refusal, {}) + kCrLf + Quoted(ShownName(path)), Buttons::OK,
                        Icon::Exclamation, "Wrong Password");
    else
        ctx.prompt.show(strong::RefusalMessage(refusal, ShownName(path)), Buttons::OK, Icon::Critical);
}

} // namespace

bool StartsWithStrongHeader(const std::string& path) {
    return strong::HasMagic(platform::InputFile(path).readUpTo(strong::kMagicSize));
}

std::optional<StrongInfo> InspectStrongFile(const std::string& path) {
    platform::InputFile in(path);
    const std::string head = in.readUpTo(strong::kHeaderSize);
    if (!strong::HasMagic(head))
        return std::nullopt;
    StrongInfo info;
    try {
        const strong::Header h = strong::ParseHeader(reinterpret_cast<const unsigned char*>(head.data()), head.size());
        info.version = h.version;
        info.limits = h.limits;
    } catch (const strong::FormatError&) {
        info.version = head.size() > 8 ? static_cast<std::uint8_t>(head[8]) : 0;
        return info;
    }
    constexpr std::uint64_t kSealed = strong::kChunkSize + strong::kChunkOverhead;
    // Everything but the content: the header, the records, and the overhead of the last piece.
    const std::uint64_t fixed = strong::LockedSize(0, info.version) - strong::kChunkOverhead;
    if (in.size() >= fixed + strong::kChunkOverhead) {
        const std::uint64_t rest = in.size() - fixed;
        const std::uint64_t last = rest % kSealed;
        if (last >= strong::kChunkOverhead) {
            info.contentSize = rest / kSealed * strong::kChunkSize + (last - strong::kChunkOverhead);
            info.sizeKnown = true;
        }
    }
    return info;
}

StrongRun::StrongRun(std::string password, const EngineContext& ctx)
    : m_password(password), m_ctx(ctx), m_unlockKeys(std::move(password)) {}

StrongRun::~StrongRun() {
    WipeString(m_password);
}

std::size_t StrongRun::derivations() const {
    return (m_lockKey ? 1 : 0) + m_unlockKeys.derivations();
}

std::optional<StrongResult> StrongRun::prepareLock(const std::string& path) {
    if (!FileExists(path))
        return std::nullopt;
    if (!IsRecordablePath(path)) {
        m_ctx.prompt.show(UnrecordableMessage("file", path), Buttons::OK, Icon::Exclamation);
        return std::nullopt;
    }
    if (refuse(m_ctx, RefuseFileLock(m_ctx, path)))
        return std::nullopt;
    const std::string name = platform::hostpath::nameOf(platform::toHost(path));
    if (!strong::IsStorableName(name)) {
        refuse(m_ctx, Quoted(name) + " can't be locked: its name is longer than a strong lock can keep.");
        return std::nullopt;
    }
    // A fresh random name; another draw in the rare case that it is taken.
    const std::string folder = AddBackslash(GetFolderPart(path));
    std::string target = folder + strong::RandomLockedName();
    for (int i = 0; i < 8 && exists(target); ++i)
        target = folder + strong::RandomLockedName();
    if (exists(target)) {
        refuse(m_ctx, Quoted(ShownName(path)) + " can't be locked: no free locked name was found.");
        return std::nullopt;
    }

    platform::InputFile in(path);
    if (!m_lockKey)
        m_lockKey = strong::DeriveKey(m_password, strong::RandomSalt(), m_ctx.strongLimits);

    StrongResult result{target, std::make_unique<platform::AtomicWriter>(platform::WinPath(target))};
    platform::AtomicWriter& out = *result.writer;
    // The times and permission bits the file has now (its times as the run's pin saw them, before
    // anything read it; a locked file locked again adds the write bits it keeps) are sealed inside;
    // the locked file itself shows only the time of the lock.
    const unsigned mode = modeOf(path) | engine::keptWriteBits(path);
    out.setPermissions(mode & ~0222u);
    strong::Writer writer(
        *m_lockKey, name,
        [&out](const unsigned char* p, std::size_t n) { out.write(reinterpret_cast<const char*>(p), n); },
        stampOf(m_ctx.pinned ? m_ctx.pinned->times() : timesOf(in, path), mode));
    const std::uint64_t total = in.size();
    std::string buffer(kReadPiece, '\0');
    const WipeOnExit wipeBuffer(buffer); // the plaintext read goes when the lock ends, however it ends
    std::uint64_t done = 0;
    std::uint64_t sinceWriteback = 0;
    progress(m_ctx, 0, total);
    for (;;) {
        const std::size_t got = in.read(buffer.data(), buffer.size());
        if (got == 0)
            break;
        writer.write(buffer.data(), got);
        done += got;
        sinceWriteback += got;
        if (sinceWriteback >= kWritebackEvery) {
            out.startWriteback();
            sinceWriteback = 0;
        }
        progress(m_ctx, done, total);
    }
    writer.finish();
    return result;
}

std::optional<StrongResult> StrongRun::prepareUnlock(const std::string& path) {
    if (refuse(m_ctx, RefuseFileKind(path)))
        return std::nullopt;
    platform::InputFile in(path);
    const std::uint64_t total = in.size();
    try {
        strong::Reader reader(
            [&in](unsigned char* p, std::size_t n) { return in.read(reinterpret_cast<char*>(p), n); });
        strong::KeyCache& keys =
            m_ctx.strongKeys && m_ctx.strongKeys->password() == m_password ? *m_ctx.strongKeys : m_unlockKeys;
        const strong::Key& key = keys.keyFor(reader.header().salt, reader.header().limits);
        const std::string name = reader.open(key);
        // Names the platform cannot map back to the program's paths are not restored.
        if (name.find_first_of("\\|") != std::string::npos) {
            refuse(m_ctx, Quoted(ShownName(path)) + " can't be unlocked: the name it holds, " + Quoted(name) +
                              ", has a character this system's paths cannot hold.");
            return std::nullopt;
        }
        const std::string target = AddBackslash(GetFolderPart(path)) + name;
        if (exists(target)) {
            refuse(m_ctx, Quoted(ShownName(path)) + " can't be unlocked: the name " + Quoted(name) + " is taken.");
            return std::nullopt;
        }
        StrongResult result{target, std::make_unique<platform::AtomicWriter>(platform::WinPath(target))};
        // The times and bits the file had when it was locked, with the owner's write; a file of
        // version 1 holds none, and keeps the locked file's bits.
        if (const std::optional<strong::Stamp>& stamp = reader.stamp()) {
            result.writer->setPermissions(stamp->mode | 0200u);
            result.writer->setTimes(timesOf(*stamp));
        } else {
            result.writer->setPermissions(modeOf(path) | 0200u);
        }
        std::string piece;
        const WipeOnExit wipePiece(piece); // the plaintext of the last piece read
        std::uint64_t done = 0;
        std::uint64_t sinceWriteback = 0;
        while (reader.next(piece)) {
            result.writer->write(piece);
            done += piece.size() + strong::kChunkOverhead;
            sinceWriteback += piece.size();
            if (sinceWriteback >= kWritebackEvery) {
                result.writer->startWriteback();
                sinceWriteback = 0;
            }
            progress(m_ctx, std::min(done, total), total);
        }
        // Only a stream read to its verified end is a result: any refusal above dropped the writer
        // and its temporary file, and the locked file stays as it was.
        return result;
    } catch (const strong::FormatError& e) {
        showRefusal(m_ctx, e.refusal(), path);
        return std::nullopt;
    }
}

} // namespace core
