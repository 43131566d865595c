#pragma once
// Inside the lock engine: what a locked-file format provides (LockFormat) and the steps all formats
// share (the checks, the job a format prepares, and completeJobs, which syncs and puts results in
// place). Each format is one file (LockSmallFormat.cpp, LockLargeFormat.cpp); LockBatch.cpp lists
// them, so a new format is a new file plus a line there. Not for use outside src/core.

#include "core/LockEngine.h"
#include "core/Register.h"
#include "core/StrongEngine.h"
#include "platform/FileIO.h"
#include "platform/PinnedSource.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace core::engine {

inline constexpr char kMarker[] = "[Secret]";
inline constexpr std::size_t kHeaderLength = 24;
// Longest first line read when looking for a header.
inline constexpr std::size_t kMaxHeaderLine = 1u << 20;
inline constexpr char kCrLf[] = "\r\n";

using platform::Buttons;
using platform::Icon;

bool isAlphabet(char ch);
// "[Secret]" followed by sixteen alphabet characters.
bool startsWithHeader(const std::string& s);
// A whole header line: the header and CR LF.
bool startsWithHeaderLine(const std::string& s);

void step(const EngineContext& ctx, const char* name);
void progress(const EngineContext& ctx, std::uint64_t done, std::uint64_t total);

// The file's first line, up to its first CR or LF. An empty file has none (error 62).
std::string readFirstLine(const std::string& path);
// The check of a header line against a password: the digest of salt and password at character 17.
bool passwordMatches(const std::string& header, const std::string& password);
// Names the file: in a batch, the user must know which one the password did not fit.
void showWrongPassword(const EngineContext& ctx, const std::string& path);
// Refuses a path the register cannot record, before anything is read or written.
bool refuseUnrecordable(const EngineContext& ctx, const std::string& path);
// Refuses what must not be locked or unlocked (a link, a pipe, an item inside a locked folder).
bool refuse(const EngineContext& ctx, const std::string& refusal);
void showTargetTaken(const EngineContext& ctx, const std::string& path, const std::string& target, bool lock);
// Whether a file or folder already has the target's name. A name that the folder cannot hold (too
// long, say) fails here, before anything is written or removed.
bool targetTaken(const std::string& target);
std::string lockTarget(const std::string& path, const char* extension);
std::string unlockTarget(const std::string& path);
// The permission bits of a file (owner read and write when they cannot be read).
unsigned modeOf(const std::string& path);

// One file of a run: its result written under a temporary name, waiting to be put in place.
struct Job {
    std::string source; // the file the user chose (plain for a lock, locked for an unlock)
    std::string target; // where the result goes (the source itself for a layer locked or peeled in place)
    bool locking = true;
    RegisterKind kind = RegisterKind::SmallFile; // the register entries of the job's format
    std::unique_ptr<platform::AtomicWriter> writer;
    bool ok = true;
    bool committed = false; // the result is in place
    // The source as the run pinned it before it changed anything: removed only through it, and only
    // while its folder and name still lead to it (null where the source could not be pinned).
    std::unique_ptr<platform::PinnedSource> pin = {};
    // Why the lock, done, is not safe (its content still readable under another name, its original
    // not overwritten): told once the result is in place; "" when it is.
    std::string unsafe = {};
    // The result gets the source's access and modification times (a ".TSL" or ".TSW" file keeps
    // them as its own); a strong locked file seals them inside instead, and its unlock sets them.
    bool takesSourceTimes = true;
    bool inPlace() const { return source == target; }
};

// What a round trip gives back besides the content (LockStamp.cpp). A ".TSL" or ".TSW" file is
// read-only, so the write bits its source had are kept in an extended attribute of the locked file;
// where the filesystem keeps none, the unlocked file gets only the owner's write back.
void keepSourceMode(platform::AtomicWriter& lockedFile, unsigned sourceMode);
// The write bits a locked file keeps of the file it was made from (0 when it keeps none). A locked
// file locked again hands them on to its new layer.
unsigned keptWriteBits(const std::string& path);
// The permission bits of the file a ".TSL" or ".TSW" unlock restores: the locked file's own, the
// write bits kept at the lock, and the owner's write (the read-only attribute cleared).
unsigned restoredMode(const std::string& lockedPath, unsigned lockedMode);
// Sets the result's times from its source, as the run's pin saw them before anything read it.
void carrySourceTimes(Job& job);

// Pins every file of a run (its folder held open, the file known by its device and inode) before
// the first is changed; an entry is null where nothing could be pinned (the file's own checks then
// tell why).
std::vector<std::unique_ptr<platform::PinnedSource>> pinSources(const std::vector<std::string>& paths);
// Opens a pinned file for its run (for a lock with a read lease held until the run ends) and
// refuses a file replaced since it was pinned, one that another program is writing, and (for a
// lock) one with other names (hard links) that would keep its content readable: openPinned gives
// the message ("" to go on), refusePinned shows it (false to go on).
std::string openPinned(platform::PinnedSource* pin, const std::string& path, bool locking);
bool refusePinned(const EngineContext& ctx, platform::PinnedSource* pin, const std::string& path, bool locking);

// Makes the written results durable (one fsync for a single file, one syncfs for many), then
// completes them folder by folder, then syncs once more for the attributes and lists.
void completeJobs(std::vector<Job>& jobs, const EngineContext& ctx);

enum class Messages { Lock, Unlock, None };

// The engines' error handler: the kinds the engine knows get their boxes, the rest is reported.
// Every box ends by naming the file and the reason in the system's words.
bool handleError(const EngineContext& ctx, Messages messages, const char* procedure, platform::ErrorKind kind,
                 const std::string& description, const std::string& path, bool lock, const std::string& reason);

template <class Body>
bool guarded(const EngineContext& ctx, Messages messages, const char* procedure, const std::string& path, bool lock,
             Body&& body) {
    try {
        return body();
    } catch (const platform::SysError& e) {
        return handleError(ctx, messages, procedure, e.kind, e.description(), path, lock, e.reason());
    } catch (const std::bad_alloc&) {
        return handleError(ctx, messages, procedure, platform::ErrorKind::OutOfMemory, "Out of memory", path, lock,
                           "out of memory");
    } catch (const std::exception& e) {
        return handleError(ctx, messages, procedure, platform::ErrorKind::InvalidArgument, e.what(), path, lock,
                           e.what());
    }
}

// Each prepare routine makes its checks and writes the result under a temporary name; it returns
// no job after a refusal (its message shown). Nothing is removed or renamed yet.
using Prepare = std::optional<Job> (*)(const std::string&, const std::string&, const EngineContext&);

// The part of a file's lock or unlock that may run on any core (the cipher), and what follows it on
// the caller's thread once it is done (a check that shows a message, the write).
struct StagedWork {
    std::function<void()> work;
    std::function<std::optional<Job>()> finish;
};
// Makes a file's checks, with their messages, on the caller's thread and returns its work; nothing
// after a refusal.
using Stage = std::optional<StagedWork> (*)(const std::string&, const std::string&, const EngineContext&);

// One file through one engine: prepared, then completed alone.
bool runOne(Prepare prepare, const std::string& path, const std::string& password, const EngineContext& ctx,
            bool locking);

// A locked-file format, as the batch engines and the inspection see it.
struct LockFormat {
    const char* extension; // of its locked files, upper case, without the dot ("TSL")
    RegisterKind kind;     // the register entries its locked files are recorded as
    Prepare prepareLock;
    Prepare prepareUnlock;
    // How a batch reports a failure of this format: the procedure names and the messages.
    const char* lockProcedure;
    const char* unlockProcedure;
    Messages lockMessages = Messages::None;
    Messages unlockMessages = Messages::None;
    // Whether an unlock of this format that fails ends a batch asked to stop at the first failure.
    bool failureEndsBatch = false;
    // Given a file that starts with a locked header and a carriage return (`start`: its first
    // kHeaderLength + 2 bytes, `size`: its length), whether it is of this format; fills `info` if so.
    bool (*inspect)(const std::string& path, const std::string& start, std::uint64_t size, LockInfo& info);
    // Where a lock in this format puts the file.
    std::string (*lockTargetOf)(const std::string& path);
    // A format whose cipher may run on any core splits its steps for a batch (nullptr: a batch
    // prepares its files in one piece, one after another).
    Stage stageLock = nullptr;
    Stage stageUnlock = nullptr;
    // A lock in this format overwrites its plaintext source (renamed to a random name first) before
    // removing it; the formats that only hide a file just remove it.
    bool overwritesSource = false;
};

// The format whose locked files the register records as `kind`.
const LockFormat& FormatOfKind(RegisterKind kind);

extern const LockFormat kSmallFormat; // ".TSL", LockSmallFormat.cpp
extern const LockFormat kLargeFormat; // ".TSW", LockLargeFormat.cpp
// ".TSX", LockStrongFormat.cpp: told by its content ("[Strong]"), never by its name; a batch runs
// its files through one StrongRun, so that a run derives its key once.
extern const LockFormat kStrongFormat;

bool startsStrong(const std::string& path, const platform::PinnedSource* pinned = nullptr);
std::optional<Job> prepareStrong(StrongRun& run, const std::string& path, bool locking);

// Every format, in the order a file is recognised and the register entries are written.
std::span<const LockFormat* const> Formats();

} // namespace core::engine
