#pragma once
// Destroys files and folders so that their content cannot be read back. A file has every block it
// holds overwritten (as many whole passes as the security level asks, each flushed to the disk; the
// holes of a sparse file stay holes), is renamed to a random name of its name's length and then to ever
// shorter ones (so the old name leaves the folder's blocks), the folder synced, and deleted. A folder
// has every file inside shredded that way before the tree is removed.
//
// Nothing outside what was picked is touched, by construction: a run pins every picked item before
// it changes the first (its folder opened with no link followed anywhere in the path, the item found
// in it and checked by identity against the protected folders); from then on everything happens
// through that folder's descriptor and descriptors opened from it. An item whose path no longer leads
// to what was pinned when the run reaches it (a folder swapped for a link, moved or replaced) is left
// alone and named. The walk
// of a folder never follows a link, never enters another mount (a bind mount included), never
// overwrites a file that other names (hard links) still show, and needs neither recursion nor more
// than a bounded number of open descriptors, however deep the tree. Paths here are host paths; the
// engine opens no window and may run on a worker thread.

#include "platform/ProtectedPaths.h"
#include "platform/UniqueFd.h"
#include "shredder/LoosenedModes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace shredder {

struct Widening;

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
inline constexpr const char* kLinkGainedReason =
    "gained another name (a hard link) while it was being shredded; its content was overwritten, but the file "
    "is still on the disk under that name";
inline constexpr const char* kMountReason = "is another volume mounted here; it was left alone";
inline constexpr const char* kProtectedReason = "can't be shredded: it holds your system or Tessaly's own files";
inline constexpr const char* kLinkInPathReason =
    "is reached through a link that was put into its path; it was left alone";
inline constexpr const char* kChangedReason =
    "was moved or replaced while it was being shredded; the rest of it was left alone";
inline constexpr const char* kMovedReason = "was moved or replaced after the run began; it was left alone";

// Points a test can reach in every engine of the process: right after an item was opened and
// checked (before anything is written), just before a shredded file's name is removed (the
// folder it is in, its current name there, and the path it was shredded as), and right after the
// permissions of an entry were widened so that it could be written or emptied.
struct ShredTestHooks {
    std::function<void(const std::string& host)> afterCheck = {};
    std::function<void(int dirFd, const std::string& name, const std::string& host)> beforeRemove = {};
    std::function<void(const std::string& host)> afterWiden = {};
};
void SetShredTestHooks(ShredTestHooks hooks);

class ShredEngine final {
public:
    // `guard`: the protected entries; read afresh when none is given.
    explicit ShredEngine(int levelIndex);
    ShredEngine(int levelIndex, platform::ProtectedSet guard);

    // An item opened and checked, before anything is written: its folder held open, its identity.
    struct Pinned;
    using Pin = std::shared_ptr<const Pinned>;

    // Opens the item's folder (no link followed anywhere in the path), finds the item in it and checks
    // both by identity against the protected entries; nothing changes. `host` is absolute with the
    // links of its folders resolved (pointedEntryHost()): a link met in it is refused, not followed.
    // `keepFolder`: the item is a folder to be emptied (Nuke). Null when refused; the reason is among
    // failures(). Items of one folder share its descriptor.
    Pin pin(const std::string& host, bool keepFolder = false);
    // The identity of the pinned item, as it was checked.
    static platform::FileId idOf(const Pin& item);
    // True when the pinned item's name is no longer in its folder (removed since it was pinned).
    static bool gone(const Pin& item);

    // Bytes the passes will write for the item (a file's data blocks, or those of every file in a
    // folder): for progress.
    std::uint64_t bytesToWrite(const Pin& item) const;
    std::uint64_t bytesToWrite(const std::string& host) const;

    // Shreds a pinned file (the pending list's DeleteFile) or folder (a link or other special entry
    // is only removed), or empties a folder pinned to be kept. True when it is gone (emptied). The
    // item's path must still lead to what was pinned.
    bool shred(const Pin& item);
    // Pins and shreds at once: for one item.
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
    std::shared_ptr<const Pinned> pinQuietly(const std::string& host, bool keepFolder, Failure& why) const;
    bool run(const Pinned& item);
    bool stillThere(const Pinned& item);
    // Overwrites and removes the file `name` of the open folder, which must still be the entry `id`
    // seen with `links` names.
    bool shredFileAt(int dirFd, const std::string& name, const std::string& host, platform::FileId id,
                     std::uint64_t links, const Widening& widening);
    // How this engine widens permissions: written down in m_loosened first.
    Widening widening();
    bool fail(const std::string& host, int err);
    bool fail(const std::string& host, const std::string& reason, bool sentence = false);
    void setCurrent(const std::string& host);

    int m_level = 0;
    std::string m_start;
    platform::ProtectedSet m_guard;
    std::map<platform::FileId, std::weak_ptr<platform::UniqueFd>> m_folders; // pinned folders, shared
    std::unique_ptr<LoosenedModes> m_loosened; // what this engine widened, written down
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_currentMutex;
    std::string m_current;
    std::vector<Failure> m_failures;
};

} // namespace shredder
