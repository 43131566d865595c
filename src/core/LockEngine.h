#pragma once
// The two locked-file engines: small files (".TSL", enciphered whole) and large files (".TSW",
// head enciphered). Each takes a full Windows-form path and the password as typed, shows its own
// messages through the prompt and returns whether it succeeded. Both directions write the result
// beside the source, flush it, and only then remove the source, so the content is always on disk.
// Each format is a file of its own (LockSmallFormat.cpp, LockLargeFormat.cpp, see LockFormat.h);
// LockBatch.cpp holds the batch engines and picks the format, LockSteps.cpp the shared steps.

#include "core/StrongFormat.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class PinnedSource;
class Prompt;
}

namespace core {

class RegisterSnapshot;

inline constexpr std::uint64_t kLargeFileThreshold = 200000;

struct EngineContext {
    platform::Prompt& prompt;
    std::string registerPath = {};
    std::string windowName = "frmMain"; // the reporting window ("frmSecurityVault" for the vault)
    // Called with bytes done of total while an engine works; the caller paints and lets events run.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress = {};
    // The salt of a new lock (eight characters ";".."z"); empty = made from the clock. For
    // reproducible files and their checks.
    std::string salt = {};
    // Called with the name of each step the engine reaches ("written", "recorded", "source
    // removed", "committed"), so a test can stop the process there.
    std::function<void(const char* step)> checkpoint = {};
    // Called by a batch with the index of each file before it is read, so that byte progress can be
    // placed in the run's bar.
    std::function<void(std::size_t index)> nextFile = {};
    // A lock run makes strong locked files (".TSX", every size) instead of ".TSL"/".TSW"; an unlock
    // run knows them by their content. The limits of a new strong lock's key derivation.
    bool strongLocks = false;
    strong::Limits strongLimits = strong::kDefaultLimits;
    // Keys derived for strong locked files, kept across the calls of one run that unlocks file by
    // file with one password (the vault); without it each call keeps its own.
    std::shared_ptr<strong::KeyCache> strongKeys = {};
    // The register as the caller's run read it for its own checks, handed on so that the engine's
    // checks do not read it again (a batch reads the register once). Without it a batch takes a
    // snapshot of its own; either way the batch keeps it in step with the entries it writes.
    std::shared_ptr<RegisterSnapshot> registerSnapshot = {};
    // Set by a batch while it checks one file: that file as the batch pinned and opened it (a
    // regular file at its path, its size and permissions seen), so that the engine reads it through
    // the pin instead of looking it up again. Null elsewhere.
    const platform::PinnedSource* pinned = nullptr;
};

bool Encrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool Decrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool Decrypt1(const std::string& path, const std::string& password, const EngineContext& ctx);
bool BigEncrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool BigDecrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool BigDecrypt1(const std::string& path, const std::string& password, const EngineContext& ctx);

// Many files at once, at copy speed: every result is written, then all are made durable together,
// then the sources go, then the register and each folder's ".hidden" list are written once (under
// their inter-process locks), then one final sync. Locking picks the engine by size, unlocking by
// extension ("TSW" large, anything else small). Each file's outcome, in order; messages as the
// engines show them. The steps a test may stop at: "written", "recorded", "source removed",
// "committed".
std::vector<bool> LockFilesTogether(const std::vector<std::string>& paths, const std::string& password,
                                    const EngineContext& ctx);
// With stopAtSmallFailure, the first small file that cannot be unlocked (a wrong password above all)
// ends the batch: what was prepared before it is completed, the files after it are not tried.
std::vector<bool> UnlockFilesTogether(const std::vector<std::string>& paths, const std::string& password,
                                      const EngineContext& ctx, bool stopAtSmallFailure = false);

// What a file is, for "tessaly-cli info" and the browser pane.
struct LockInfo {
    enum Kind { Plain, Small, Large } kind = Plain;
    std::uint64_t contentSize = 0; // bytes of content the file holds (locked or not)
};
// Small: a whole header line followed by a body of alphabet lines; Large: a header ending in a lone
// carriage return (or, for a ".TSW" name, in CR LF, as the first enciphered byte may be a line feed).
// Throws platform::SysError when the file cannot be read.
LockInfo InspectFile(const std::string& path);

// True when the file begins with a locked header: "[Secret]", sixteen header characters and a
// carriage return. Whether a file is locked is told by this alone, never by its name.
bool StartsWithLockedHeader(const std::string& path);
// The same test on a file's first bytes (at least kLockedHeadLength of them, when it has so many).
inline constexpr std::size_t kLockedHeadLength = 25;
bool IsLockedHeaderStart(const std::string& start);

// Where a lock puts the file: a locked small file (a ".TSL" name and a whole header line) is locked
// again in place; anything else goes to its transformed name with ".TSL" (small) or ".TSW".
std::string LockTargetPath(const std::string& path, bool small);

// The header of a new lock: "[Secret]" + salt + DigestText(salt + password).
std::string MakeHeader(const std::string& salt, const std::string& password);
// A salt that differs from lock to lock: the digest of the date and the seconds since midnight.
std::string MakeSalt();

} // namespace core
