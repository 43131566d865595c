#pragma once
// The error that platform calls raise: a system error number the program's handlers know,
// with its description.
//   5 invalid argument, 52 bad file name, 53 file not found, 55 file already open,
//   57 device I/O error, 61 disk full, 68 device unavailable, 70 permission denied,
//   75 path/file access error, 76 path not found.

#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

struct SysError : std::runtime_error {
    SysError(int number, const std::string& description, std::string systemText = {})
        : std::runtime_error(description), number(number), systemText(std::move(systemText)) {}
    int number;
    // The system's own words for the failure ("No space left on device"), when it gave any.
    std::string systemText;
    std::string description() const { return what(); }
    // What to tell the user: the system's words, else the description.
    std::string reason() const { return systemText.empty() ? description() : systemText; }
};

// The standard description of a system error number ("File not found" for 53, ...).
std::string errorDescription(int number);

// Maps an errno value to the program's error number: ENOENT 53 (76 when a folder of the path is
// missing: pass folderMissing), EACCES/EPERM/EROFS 75, ENOSPC/EDQUOT 61, EIO 57,
// ENODEV/ENXIO/ENOMEDIUM 68, EBUSY/ETXTBSY 55, ENAMETOOLONG 52, EINVAL 5; anything else 75.
int errorNumberFromErrno(int err, bool folderMissing = false);

// A SysError for errno `err` met while working on host path `hostPath` (the path decides 53 vs 76).
SysError sysErrorFromErrno(int err, const std::string& hostPath);

} // namespace platform
