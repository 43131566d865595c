#include "platform/PrivateFiles.h"

#include "platform/Environment.h"
#include "platform/SysError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace platform {

namespace {

bool isSet(const char* variable) {
    const char* v = std::getenv(variable);
    return v && v[0] == '/';
}

void chmodNoFollow(const std::string& path, mode_t mode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return;
    if ((st.st_mode & 07777) != mode)
        ::fchmodat(AT_FDCWD, path.c_str(), mode, 0);
}

} // namespace

std::string PrivateFoldersProblem() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return {};
    for (const char* variable : {"XDG_DATA_HOME", "XDG_STATE_HOME"})
        if (!isSet(variable))
            return std::string("HOME is not set (nor ") + variable +
                   "): there is no folder of your own to keep Tessaly's data in. Set HOME and start again.";
    return {};
}

void MakePrivateFolder(const std::string& hostFolder) {
    std::error_code ec;
    std::filesystem::create_directories(hostFolder, ec);
    struct stat st {};
    if (::lstat(hostFolder.c_str(), &st) != 0)
        throw sysErrorFromErrno(errno, hostFolder);
    if (!S_ISDIR(st.st_mode))
        throw SysError(ErrorKind::PathFileAccess, errorDescription(ErrorKind::PathFileAccess),
                       hostFolder + " is not a folder");
    if ((st.st_mode & 07777) != 0700 && ::chmod(hostFolder.c_str(), 0700) != 0)
        throw sysErrorFromErrno(errno, hostFolder);
}

int OpenPrivateFile(const std::string& hostFile, int flags) {
    const int fd = ::open(hostFile.c_str(), flags | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

void TightenPrivateTree(const std::string& hostFolder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(hostFolder, ec)))
        return;
    chmodNoFollow(hostFolder, 0700);
    for (fs::recursive_directory_iterator it(hostFolder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        if (ec)
            break;
        if (fs::is_directory(st))
            chmodNoFollow(it->path().string(), 0700);
        else if (fs::is_regular_file(st))
            chmodNoFollow(it->path().string(), 0600);
    }
}

void TightenPrivateFolders() {
    for (const std::string& folder : {dataFolderHost(), logFolderHost(), configFolderHost()})
        TightenPrivateTree(folder);
}

} // namespace platform
