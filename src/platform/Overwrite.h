#pragma once
// Overwriting a file where it lies, before it is removed: one pass over every block the file holds
// (a sparse file's holes stay holes), the random names that replace a name in its folder, and the
// verdict on whether the disk lets an overwrite reach the old content at all. Used by the strong
// lock for its plaintext source and by the shredder.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Why an overwrite in place may not reach the copy the disk holds (Yes: it does, as far as the
// system can tell).
enum class OverwriteHolds {
    Yes,
    CopyOnWrite, // the filesystem writes changes to new blocks (btrfs, ZFS, bcachefs, f2fs, an overlay)
    Flash,       // the device says it is not rotational: flash writes changes elsewhere and remaps
    DataJournal, // ext3/ext4 keeps the data itself in its journal (data=journal, or the file's flag)
    Unknown,     // a network or user-space filesystem: the disk behind it cannot be seen
};

struct OverwriteVerdict {
    OverwriteHolds kind = OverwriteHolds::Yes;
    std::string filesystem; // its type as the system names it ("ext4", "btrfs", "tmpfs")
    bool holds() const { return kind == OverwriteHolds::Yes; }
};

// The verdict for the volume of an open file or folder (any descriptor, O_PATH included): its
// filesystem's magic number, its mount options in /proc/self/mountinfo, the file's own data-journal
// flag, and the rotational flag of the block device under it.
OverwriteVerdict overwriteVerdict(int fd);
// The same for a host path (a file or a folder; links followed). Unknown when it cannot be opened.
OverwriteVerdict overwriteVerdictAt(const std::string& hostPath);
// What the user is told when the verdict is not Yes, in one sentence; "" when it is.
std::string overwriteWarning(const OverwriteVerdict& verdict);

// The stretches [begin, end) of an open file that hold data, never its holes; a file shorter than
// `minimum` gives one stretch of that length. False with errno set when the system refuses to tell.
bool dataExtents(int fd, std::uint64_t size, std::uint64_t minimum,
                 std::vector<std::pair<std::uint64_t, std::uint64_t>>& out);

// One pass over a file: `head` is written first (from offset 0), then `fill` bytes, or random
// bytes when `random` is set.
struct OverwritePass {
    std::string head = {};
    char fill = '\0';
    bool random = false;
};
// Writes one pass over the data stretches of the file open for writing (`fd`), block by block, and
// flushes it (fdatasync). `written` is told the bytes of each block. False with errno set on a
// failure (what was written stays written).
bool overwritePass(int fd, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& extents,
                   const OverwritePass& pass, const std::function<void(std::uint64_t bytes)>& written = {});

// A random name of `length` letters and digits (at least one).
std::string randomName(std::size_t length);
// Renames the entry `name` of the open folder to a free random name of the same length (no entry
// replaced); the new name, or "" with errno set when the folder refuses.
std::string renameToRandom(int dirFd, const std::string& name);

} // namespace platform
