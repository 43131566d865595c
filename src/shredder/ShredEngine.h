#pragma once
// Destroys files and folders so that their content cannot be read back. A file is overwritten from
// its first byte to its last (as many whole passes as the security level asks, each flushed to the
// disk), renamed to a random name of the same length in its folder, deleted, and its folder synced.
// A folder has every file inside shredded that way before the tree is removed.
//
// Nothing outside what was picked is touched, by construction: each picked item is opened once
// (no link followed anywhere in its path) and checked by identity against the protected folders;
// from then on everything happens through that descriptor and descriptors opened from it. The walk
// of a folder never follows a link, never enters another mount (a bind mount included), never
// overwrites a file that other names (hard links) still show, and needs neither recursion nor more
// than a bounded number of open descriptors, however deep the tree. Paths here are host paths; the
// engine opens no window and may run on a worker thread.

#include "platform/ProtectedPaths.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace shredder {

// The security levels offered in the "Security level" list, the first the default.
std::vector<std::string> LevelNames();
// Whole-file passes of a level (1, 2 or 3).
int PassCount(int levelIndex);
// The runs the first pass writes at a file's start, with N = 100 × the level index: 440 bytes
// (110 × 0A 00 00 00) at the first level, 52 × N bytes more at each further one.
std::string StartPattern(int levelIndex);

// An item that could not be shredded, and why. `reason` is the system's text ("Permission denied")
// shown after a colon, or, when `sentence` is set, the rest of a sentence that follows the item's
// name ("has other names on this disk (hard links); ...").
struct Failure {
    std::string hostPath;
    std::string reason;
    bool sentence = false;
};

inline constexpr const char* kHardLinksReason =
    "has other names on this disk (hard links); it was not shredded, so that their content stays";
inline constexpr const char* kMountReason = "is another volume mounted here; it was left alone";
inline constexpr const char* kProtectedReason = "can't be shredded: it holds your system or Tessaly's own files";
inline constexpr const char* kLinkInPathReason =
    "is reached through a link that was put into its path; it was left alone";
inline constexpr const char* kChangedReason =
    "was moved or replaced while it was being shredded; the rest of it was left alone";

// Points a test can reach in every engine of the process: right after an item was opened and
// checked (before anything is written), and just before a shredded file's name is removed (the
// folder it is in, its current name there, and the path it was shredded as).
struct ShredTestHooks {
    std::function<void(const std::string& host)> afterCheck;
    std::function<void(int dirFd, const std::string& name, const std::string& host)> beforeRemove;
};
void SetShredTestHooks(ShredTestHooks hooks);

class ShredEngine final {
public:
    // `guard`: the protected entries; read afresh when none is given.
    explicit ShredEngine(int levelIndex);
    ShredEngine(int levelIndex, platform::ProtectedSet guard);

    // Bytes the passes will write for the entry (a file, or every file in a folder): for progress.
    std::uint64_t bytesToWrite(const std::string& host) const;

    // Shreds a file (the pending list's DeleteFile) or a folder (a link or other special entry is only
    // removed). True when it is gone. `host` is absolute with the links of its folders resolved
    // (pointedEntryHost()): a link met in it is refused, not followed.
    bool shred(const std::string& host);
    // The scheduled sweep: shreds everything inside the folder and keeps the folder itself.
    bool Nuke(const std::string& hostFolder);

    // Stops the run before the next file (the file in hand is finished first); may be called from
    // another thread. Items not reached are left whole and are not failures.
    void cancel() { m_cancel.store(true); }
    bool cancelled() const { return m_cancel.load(); }

    // Bytes written so far; another thread may read it while a run goes on.
    std::uint64_t written() const { return m_written.load(std::memory_order_relaxed); }
    // The entry being shredded now ("" between items); another thread may read it.
    std::string current() const;
    const std::vector<Failure>& failures() const { return m_failures; }

private:
    bool run(const std::string& host, bool keepFolder);
    // Overwrites and removes the file `name` of the open folder, which must still be the entry `id`
    // seen with `links` names.
    bool shredFileAt(int dirFd, const std::string& name, const std::string& host, platform::FileId id,
                     std::uint64_t links);
    bool fail(const std::string& host, int err);
    bool fail(const std::string& host, const std::string& reason, bool sentence = false);
    void setCurrent(const std::string& host);

    int m_level = 0;
    std::string m_start;
    platform::ProtectedSet m_guard;
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_currentMutex;
    std::string m_current;
    std::vector<Failure> m_failures;
};

} // namespace shredder
