#pragma once
// The error that platform calls raise: a kind of failure the program's handlers know, with its
// description. Each kind keeps the system error number that error reports and logs show.

#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

enum class ErrorKind {
    InvalidArgument = 5,
    OutOfMemory = 7,
    SubscriptOutOfRange = 9,
    BadFileName = 52,
    FileNotFound = 53,
    FileAlreadyOpen = 55,
    DeviceIO = 57,
    FileAlreadyExists = 58,
    DiskFull = 61,
    InputPastEnd = 62,
    DeviceUnavailable = 68,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    ObjectNotSet = 91,
    IndexOutOfBounds = 35600, // a list asked for a row it does not have
};

// The number an error report or a log line shows for the kind.
constexpr int errorNumber(ErrorKind kind) {
    return static_cast<int>(kind);
}

// The standard description of a kind ("File not found" for FileNotFound, ...).
std::string errorDescription(ErrorKind kind);

struct SysError : std::runtime_error {
    // With the kind's standard description.
    explicit SysError(ErrorKind kind) : SysError(kind, errorDescription(kind)) {}
    SysError(ErrorKind kind, const std::string& description, std::string systemText = {})
        : std::runtime_error(description), kind(kind), systemText(std::move(systemText)) {}
    ErrorKind kind;
    // The system's own words for the failure ("No space left on device"), when it gave any.
    std::string systemText;
    // The number shown in error reports and logs.
    int number() const { return errorNumber(kind); }
    std::string description() const { return what(); }
    // What to tell the user: the system's words, else the description.
    std::string reason() const { return systemText.empty() ? description() : systemText; }
};

// Maps an errno value to the program's kind: ENOENT FileNotFound (PathNotFound when a folder of the
// path is missing: pass folderMissing), EACCES/EPERM/EROFS PathFileAccess, ENOSPC/EDQUOT DiskFull,
// EIO DeviceIO, ENODEV/ENXIO/ENOMEDIUM DeviceUnavailable, EBUSY/ETXTBSY FileAlreadyOpen,
// ENAMETOOLONG BadFileName, EINVAL InvalidArgument, EEXIST FileAlreadyExists; anything else
// PathFileAccess.
ErrorKind errorKindFromErrno(int err, bool folderMissing = false);

// A SysError for errno `err` met while working on host path `hostPath` (the path decides
// FileNotFound vs PathNotFound).
SysError sysErrorFromErrno(int err, const std::string& hostPath);

} // namespace platform
