#include "platform/SysError.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace platform {

std::string errorDescription(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::InvalidArgument:
        return "Invalid procedure call or argument";
    case ErrorKind::OutOfMemory:
        return "Out of memory";
    case ErrorKind::SubscriptOutOfRange:
        return "Subscript out of range";
    case ErrorKind::BadFileName:
        return "Bad file name or number";
    case ErrorKind::FileNotFound:
        return "File not found";
    case ErrorKind::FileAlreadyOpen:
        return "File already open";
    case ErrorKind::DeviceIO:
        return "Device I/O error";
    case ErrorKind::FileAlreadyExists:
        return "File already exists";
    case ErrorKind::DiskFull:
        return "Disk full";
    case ErrorKind::InputPastEnd:
        return "Input past end of file";
    case ErrorKind::DeviceUnavailable:
        return "Device unavailable";
    case ErrorKind::PermissionDenied:
        return "Permission denied";
    case ErrorKind::PathFileAccess:
        return "Path/File access error";
    case ErrorKind::PathNotFound:
        return "Path not found";
    case ErrorKind::ObjectNotSet:
        return "Object variable or With block variable not set";
    case ErrorKind::IndexOutOfBounds:
        return "Index out of bounds";
    }
    return "Application-defined or object-defined error";
}

ErrorKind errorKindFromErrno(int err, bool folderMissing) {
    switch (err) {
    case ENOENT:
        return folderMissing ? ErrorKind::PathNotFound : ErrorKind::FileNotFound;
    case ENOTDIR:
        return ErrorKind::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return ErrorKind::PathFileAccess;
    case ENOSPC:
    case EDQUOT:
        return ErrorKind::DiskFull;
    case EIO:
        return ErrorKind::DeviceIO;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
        return ErrorKind::DeviceUnavailable;
    case EBUSY:
    case ETXTBSY:
        return ErrorKind::FileAlreadyOpen;
    case ENAMETOOLONG:
        return ErrorKind::BadFileName;
    case EINVAL:
        return ErrorKind::InvalidArgument;
    case EEXIST:
        return ErrorKind::FileAlreadyExists;
    default:
        return ErrorKind::PathFileAccess;
    }
}

namespace {
// True when the folder that should hold hostPath does not exist (or is not a folder).
bool parentMissing(const std::string& hostPath) {
    std::string p = hostPath;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const auto slash = p.rfind('/');
    if (slash == std::string::npos)
        return false;
    const std::string parent = slash == 0 ? std::string("/") : p.substr(0, slash);
    struct stat st {};
    return ::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}
} // namespace

SysError sysErrorFromErrno(int err, const std::string& hostPath) {
    const bool folderMissing = (err == ENOENT || err == ENOTDIR) && parentMissing(hostPath);
    ErrorKind kind = errorKindFromErrno(err, folderMissing);
    if (err == ENOTDIR && !folderMissing)
        kind = ErrorKind::PathNotFound;
    return SysError(kind, errorDescription(kind), std::strerror(err));
}

} // namespace platform
