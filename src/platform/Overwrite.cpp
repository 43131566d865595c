#include "platform/Overwrite.h"

#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace platform {

namespace {

constexpr std::size_t kBlock = 1 << 20;

std::mt19937_64& generator() {
    thread_local std::mt19937_64 rng{std::random_device{}()};
    return rng;
}

// Filesystems by the magic number statfs gives, with what an overwrite in place means on them.
struct KnownFilesystem {
    unsigned long magic;
    const char* name;
    OverwriteHolds kind;
};
constexpr KnownFilesystem kKnown[] = {
    {0x9123683E, "btrfs", OverwriteHolds::CopyOnWrite},
    {0x2FC12FC1, "zfs", OverwriteHolds::CopyOnWrite},
    {0xCA451A4E, "bcachefs", OverwriteHolds::CopyOnWrite},
    {0xF2F52010, "f2fs", OverwriteHolds::CopyOnWrite}, // log-structured: every write goes to a new place
    {0x3434, "nilfs2", OverwriteHolds::CopyOnWrite},
    {0x794C7630, "overlay", OverwriteHolds::CopyOnWrite}, // a changed file is a copy; the lower one stays
    {0x6969, "nfs", OverwriteHolds::Unknown},
    {0x517B, "smb", OverwriteHolds::Unknown},
    {0xFF534D42, "cifs", OverwriteHolds::Unknown},
    {0xFE534D42, "smb3", OverwriteHolds::Unknown},
    {0x65735546, "fuse", OverwriteHolds::Unknown},
    {0x00C36400, "ceph", OverwriteHolds::Unknown},
    {0x01021997, "9p", OverwriteHolds::Unknown},
    {0x01021994, "tmpfs", OverwriteHolds::Yes}, // memory: the page written is the page that held it
    {0x858458F6, "ramfs", OverwriteHolds::Yes},
    {0xEF53, "ext4", OverwriteHolds::Yes},
    {0x58465342, "xfs", OverwriteHolds::Yes},
};

// The filesystem type and the superblock options of the mount `mountId` (or, when the system
// gives no mount id, the first mount of the device) in /proc/self/mountinfo.
bool mountEntry(std::uint64_t mountId, dev_t dev, std::string& type, std::string& options) {
    std::ifstream in("/proc/self/mountinfo");
    const std::string device = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor;
        fields >> id >> parent >> majorMinor;
        const bool match = mountId != 0 ? id == std::to_string(mountId) : majorMinor == device;
        if (!match)
            continue;
        std::string field;
        while (fields >> field && field != "-") {
        }
        std::string source;
        fields >> type >> source >> options;
        return !type.empty();
    }
    return false;
}

bool hasOption(const std::string& options, const std::string& wanted) {
    std::istringstream list(options);
    std::string option;
    while (std::getline(list, option, ','))
        if (option == wanted)
            return true;
    return false;
}

// The block device's own word on whether it is rotational ("0": flash); a partition asks the
// disk it is on. Nothing for a filesystem without a block device of its own.
bool nonRotational(dev_t dev) {
    if (major(dev) == 0)
        return false;
    const std::string base = "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    for (const char* rest : {"/queue/rotational", "/../queue/rotational"}) {
        std::ifstream in(base + rest);
        char c = 0;
        if (in.get(c))
            return c == '0';
    }
    return false;
}

} // namespace

OverwriteVerdict overwriteVerdict(int fd) {
    OverwriteVerdict verdict;
    struct statfs fs {};
    struct statx sx {};
    if (::fstatfs(fd, &fs) != 0 ||
        ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_TYPE | STATX_MODE | STATX_MNT_ID, &sx) != 0) {
        verdict.kind = OverwriteHolds::Unknown;
        return verdict;
    }
    const dev_t dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    std::string options;
    mountEntry((sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : 0, dev, verdict.filesystem, options);
    const unsigned long magic = static_cast<unsigned long>(fs.f_type);
    const auto known = std::find_if(std::begin(kKnown), std::end(kKnown),
                                    [magic](const KnownFilesystem& k) { return k.magic == magic; });
    if (verdict.filesystem.empty())
        verdict.filesystem = known != std::end(kKnown) ? known->name : "unknown";
    if (known != std::end(kKnown) && known->kind != OverwriteHolds::Yes) {
        verdict.kind = known->kind;
        return verdict;
    }
    // ext3/ext4 keep data in the journal for the whole volume, or for a file (or the files of a
    // folder) flagged so.
    if (magic == 0xEF53) {
        int flags = 0;
        if (hasOption(options, "data=journal") ||
            (S_ISREG(sx.stx_mode) && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_JOURNAL_DATA_FL))) {
            verdict.kind = OverwriteHolds::DataJournal;
            return verdict;
        }
    }
    if (nonRotational(dev))
        verdict.kind = OverwriteHolds::Flash;
    return verdict;
}

OverwriteVerdict overwriteVerdictAt(const std::string& hostPath) {
    const UniqueFd fd(::open(hostPath.c_str(), O_PATH | O_CLOEXEC));
    if (!fd.valid())
        return OverwriteVerdict{OverwriteHolds::Unknown, "unknown"};
    // A regular file is opened for reading where it can be, so that its own flags can be asked.
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        const UniqueFd readable(::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (readable.valid())
            return overwriteVerdict(readable.get());
    }
    return overwriteVerdict(fd.get());
}

std::string overwriteWarning(const OverwriteVerdict& verdict) {
    std::string why;
    switch (verdict.kind) {
    case OverwriteHolds::Yes:
        return {};
    case OverwriteHolds::CopyOnWrite:
        why = "its filesystem (" + verdict.filesystem + ") writes every change to a new place and may keep the old one";
        break;
    case OverwriteHolds::Flash:
        why = "it is a flash drive (SSD, memory card or USB stick), which writes every change to a new place";
        break;
    case OverwriteHolds::DataJournal:
        why = "its filesystem (" + verdict.filesystem + ") keeps a copy of the data written in its journal";
        break;
    case OverwriteHolds::Unknown:
        why = "Tessaly cannot see how its filesystem (" + verdict.filesystem + ") stores files";
        break;
    }
    return "This disk may keep copies of the original: " + why +
           ". Tessaly overwrites the file before removing it, but cannot reach such copies; use full-disk "
           "encryption for files that must leave no trace on this disk.";
}

bool dataExtents(int fd, std::uint64_t size, std::uint64_t minimum,
                 std::vector<std::pair<std::uint64_t, std::uint64_t>>& out) {
    out.clear();
    if (size < minimum) {
        out.emplace_back(0, minimum);
        return true;
    }
    if (size == 0)
        return true;
    // One probe tells a file without holes (the common case).
    const off_t firstHole = ::lseek(fd, 0, SEEK_HOLE);
    if (firstHole < 0 || static_cast<std::uint64_t>(firstHole) >= size) {
        // No hole, or a file system that cannot tell: the whole length is data.
        if (firstHole < 0 && errno != EINVAL && errno != ENXIO)
            return false;
        out.emplace_back(0, size);
        return true;
    }
    std::uint64_t at = 0;
    while (at < size) {
        const off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // only a hole is left
            return false;
        }
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            return false;
        const std::uint64_t end = std::min<std::uint64_t>(static_cast<std::uint64_t>(hole), size);
        if (end > static_cast<std::uint64_t>(data))
            out.emplace_back(static_cast<std::uint64_t>(data), end);
        if (static_cast<std::uint64_t>(hole) <= at)
            break;
        at = static_cast<std::uint64_t>(hole);
    }
    return true;
}

namespace {

bool writeAll(int fd, const char* data, std::size_t n, std::uint64_t offset) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, data, n, static_cast<off_t>(offset));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
        offset += static_cast<std::uint64_t>(w);
    }
    return true;
}

} // namespace

bool overwritePass(int fd, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& extents,
                   const OverwritePass& pass, const std::function<void(std::uint64_t bytes)>& written) {
    thread_local std::vector<char> buffer(kBlock);
    std::fill(buffer.begin(), buffer.end(), pass.fill);
    bool patterned = false; // the buffer holds some of the head
    for (const auto& [begin, end] : extents) {
        for (std::uint64_t offset = begin; offset < end;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, end - offset));
            if (offset < pass.head.size()) {
                std::fill(buffer.begin(), buffer.end(), pass.fill);
                const std::size_t head = std::min(n, pass.head.size() - static_cast<std::size_t>(offset));
                std::memcpy(buffer.data(), pass.head.data() + offset, head);
                patterned = true;
            } else if (patterned) {
                std::fill(buffer.begin(), buffer.end(), pass.fill);
                patterned = false;
            }
            if (pass.random && !patterned) {
                auto& rng = generator();
                for (std::size_t i = 0; i < n; i += 8) {
                    const std::uint64_t r = rng();
                    std::memcpy(buffer.data() + i, &r, std::min<std::size_t>(8, n - i));
                }
            }
            if (!writeAll(fd, buffer.data(), n, offset))
                return false;
            // Start writing this block to the disk now, so the flush at the end finds little left.
            ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
            offset += n;
            if (written)
                written(n);
        }
    }
    return ::fdatasync(fd) == 0;
}

std::string randomName(std::size_t length) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kChars) - 2);
    std::string name(std::max<std::size_t>(length, 1), 'x');
    for (char& c : name)
        c = kChars[pick(generator())];
    return name;
}

std::string renameToRandom(int dirFd, const std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string candidate = randomName(name.size());
        if (::renameat2(dirFd, name.c_str(), dirFd, candidate.c_str(), RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

} // namespace platform
