#pragma once
// A file pinned for a run that will replace it: its folder is held open, the file is known by its
// identity (device and inode), and while the run reads it a read lease shows whether another program
// opens it for writing. At the end the run removes the file through the held folder, and only when
// the folder and the name still lead to the same file, so a folder swapped for a link or a file
// replaced meanwhile is never what gets removed.

#include "platform/FileTimes.h"
#include "platform/UniqueFd.h"

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

namespace platform {

// A folder held open for the runs of its files; shared by every file of a run in it.
class PinnedFolder final {
public:
    // Opens the folder (host path); throws SysError.
    explicit PinnedFolder(const std::string& hostFolder);
    int fd() const { return m_fd.get(); }
    const std::string& host() const { return m_host; }
    // Whether the folder's path still leads to the folder held.
    bool stillAt() const;

private:
    UniqueFd m_fd;
    std::string m_host;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
};

class PinnedSource final {
public:
    // OwnedByOther: the file belongs to another user and no lease could be taken on it, so nothing
    // would tell whether its owner is still writing it.
    enum class Open { Ok, Gone, Replaced, BeingWritten, OwnedByOther };

    // Pins the entry `name` of the folder by its identity, without opening it; a name that is not
    // there, or not a regular file, leaves the pin empty (valid() false).
    PinnedSource(std::shared_ptr<PinnedFolder> folder, const std::string& name);
    PinnedSource(const PinnedSource&) = delete;
    PinnedSource& operator=(const PinnedSource&) = delete;

    bool valid() const { return m_valid; }
    // Names the file has on its filesystem (hard links), as pinned.
    nlink_t links() const { return m_links; }

    // Opens the pinned file for the run's read and takes a read lease on it (where the filesystem
    // and the file's owner allow one; otherwise its size and change times are kept to compare).
    // BeingWritten: another program (or this one) has it open for writing. Without `lease` the file
    // is opened for reading only, and its size and change times kept to compare.
    Open open(bool lease = true);
    // Whether open() left the file open for reading.
    bool isOpen() const { return m_fd.valid(); }
    // What open() saw of the file: its size and permission bits.
    std::uint64_t size() const { return static_cast<std::uint64_t>(m_size); }
    unsigned mode() const { return m_mode; }
    // The file's access and modification times as first seen (when pinned, then at open()), before
    // the run read it.
    const FileTimes& times() const { return m_times; }
    // Reads the opened file from its start: up to `limit` bytes (all of it by default). Throws
    // SysError when it cannot be read.
    std::string read(std::uint64_t limit = UINT64_MAX) const;
    // One look at the name in the held folder, at the end of the run (the caller looks at the
    // folder's own path once for all its files: folder().stillAt()): still the pinned file and
    // unchanged, written since open() (opened for writing or changed), gone, or another file.
    enum class Seen { Unchanged, Written, Gone, Replaced };
    Seen seeAgain() const;
    const PinnedFolder& folder() const { return *m_folder; }
    // Removes the name through the held folder (errno on failure, 0 on success).
    int unlink() const;
    // The names the file has now, as the held descriptor tells (0 once the last one is gone; -1 when
    // the file is not open).
    long linksNow() const;

    // Overwriting the file before its name goes, for a run that must leave no plaintext behind:
    // openForOverwrite() lets the lease go and opens the pinned file again for writing through the
    // held descriptor (never by its name); renameToRandom() gives it a random name of its name's
    // length through the held folder (the pin follows it), so the folder's blocks keep no name;
    // overwrite() writes zeros over every block the file holds and flushes them. Each returns 0 or
    // the errno of its failure; EXDEV from renameToRandom: the name led to another file, left as found.
    int openForOverwrite();
    int renameToRandom();
    int overwrite();
    // The name the file has in its folder now.
    const std::string& name() const { return m_name; }
    // Lets the lease go (other programs' opens no longer wait).
    void release();

private:
    std::shared_ptr<PinnedFolder> m_folder;
    std::string m_name;
    bool m_valid = false;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    nlink_t m_links = 0;
    UniqueFd m_fd;
    UniqueFd m_writeFd; // openForOverwrite()
    bool m_leased = false;
    bool m_opened = false; // open() reached the file: its size and change times were kept
    off_t m_size = 0;
    unsigned m_mode = 0;
    FileTimes m_times{};
    timespec m_mtime{};
    timespec m_ctime{};
};

} // namespace platform
