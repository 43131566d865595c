#include "platform/SysError.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace platform {

std::string errorDescription(int number) {
    switch (number) {
    case 5:
        return "Invalid procedure call or argument";
    case 52:
        return "Bad file name or number";
    case 53:
        return "File not found";
    case 55:
        return "File already open";
    case 57:
        return "Device I/O error";
    case 58:
        return "File already exists";
    case 61:
        return "Disk full";
    case 62:
        return "Input past end of file";
    case 68:
        return "Device unavailable";
    case 70:
        return "Permission denied";
    case 75:
        return "Path/File access error";
    case 76:
        return "Path not found";
    default:
        return "Application-defined or object-defined error";
    }
}

int errorNumberFromErrno(int err, bool folderMissing) {
    switch (err) {
    case ENOENT:
        return folderMissing ? 76 : 53;
    case ENOTDIR:
        return 76;
    case EACCES:
    case EPERM:
    case EROFS:
        return 75;
    case ENOSPC:
    case EDQUOT:
        return 61;
    case EIO:
        return 57;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
        return 68;
    case EBUSY:
    case ETXTBSY:
        return 55;
    case ENAMETOOLONG:
        return 52;
    case EINVAL:
        return 5;
    case EEXIST:
        return 58;
    default:
        return 75;
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
    int number = errorNumberFromErrno(err, folderMissing);
    if (err == ENOTDIR && !folderMissing)
        number = 76;
    return SysError(number, errorDescription(number), std::strerror(err));
}

} // namespace platform
