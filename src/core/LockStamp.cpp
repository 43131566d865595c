// What a locked file keeps of the file it was made from, so that unlocking gives back the same file:
// its access and modification times (a ".TSL" or ".TSW" file wears them as its own) and its
// permission bits (the read bits on the locked file itself, the write bits in an extended attribute,
// as the locked file has none).

#include "core/LockFormat.h"

#include "platform/Environment.h"
#include "platform/FileTimes.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdio>
#include <cstdlib>

namespace core::engine {

namespace {

// The source's permission bits in octal ("0664").
constexpr const char* kModeAttribute = "user.tessaly.mode";

} // namespace

void keepSourceMode(platform::AtomicWriter& lockedFile, unsigned sourceMode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", sourceMode & 07777);
    // Refused (a filesystem without user attributes): the unlock gives the owner's write back only.
    lockedFile.setExtendedAttribute(kModeAttribute, text);
}

unsigned keptWriteBits(const std::string& path) {
    char text[16] = {};
    const ssize_t n = ::lgetxattr(platform::toHost(path).c_str(), kModeAttribute, text, sizeof text - 1);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 8);
    // Only the write bits come from the attribute: the rest is the locked file's own, as the user
    // may have changed it since.
    return end == text + n && value <= 07777 ? static_cast<unsigned>(value) & 0222u : 0;
}

unsigned restoredMode(const std::string& lockedPath, unsigned lockedMode) {
    return (lockedMode & 07777) | keptWriteBits(lockedPath) | 0200u;
}

void carrySourceTimes(Job& job) {
    if (!job.takesSourceTimes || !job.writer)
        return;
    if (job.pin) {
        job.writer->setTimes(job.pin->times());
        return;
    }
    struct stat st {};
    if (::lstat(platform::toHost(job.source).c_str(), &st) == 0)
        job.writer->setTimes(platform::timesOf(st));
}

} // namespace core::engine
