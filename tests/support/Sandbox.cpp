#include "Sandbox.h"

#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/Registry.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

namespace {
const char* const kVars[6] = {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                              "XDG_RUNTIME_DIR"};
const char* const kDirs[6] = {"home", "home/.local/share", "home/.local/state", "home/.config", "home/.cache",
                              "run"};
} // namespace

Sandbox::Sandbox() {
    fs::create_directories(TESSALY_SANDBOX_PARENT);
    std::string tmpl = std::string(TESSALY_SANDBOX_PARENT) + "/sbXXXXXX";
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("cannot create sandbox");
    m_root = tmpl;
    for (int i = 0; i < 6; ++i) {
        if (const char* v = std::getenv(kVars[i])) {
            m_hadEnv[i] = true;
            m_savedEnv[i] = v;
        }
        const std::string dir = m_root + "/" + kDirs[i];
        fs::create_directories(dir);
        setenv(kVars[i], dir.c_str(), 1);
    }
    fs::permissions(m_root + "/run", fs::perms::owner_all, fs::perm_options::replace);
    platform::resetEnvironment();
    platform::registry().setString(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "C",
                                   m_root);
    platform::reloadDrives();
}

Sandbox::~Sandbox() {
    platform::resetEnvironment();
    for (int i = 0; i < 6; ++i) {
        if (m_hadEnv[i])
            setenv(kVars[i], m_savedEnv[i].c_str(), 1);
        else
            unsetenv(kVars[i]);
    }
    std::error_code ec;
    // Read-only files and folders inside must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(m_root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_root, ec);
}

std::string Sandbox::host(const std::string& windowsPath) const {
    std::string rest = windowsPath.size() >= 2 && windowsPath[1] == ':' ? windowsPath.substr(2) : windowsPath;
    for (char& c : rest)
        if (c == '\\')
            c = '/';
    if (!rest.empty() && rest[0] != '/')
        rest.insert(rest.begin(), '/');
    return m_root + rest;
}

std::string Sandbox::writeFile(const std::string& windowsPath, const std::string& content) const {
    const std::string h = host(windowsPath);
    fs::create_directories(fs::path(h).parent_path());
    std::ofstream out(h, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + h);
    return windowsPath;
}

std::string Sandbox::readFile(const std::string& windowsPath) const { return readHostFile(host(windowsPath)); }

bool Sandbox::exists(const std::string& windowsPath) const { return fs::exists(host(windowsPath)); }

std::string Sandbox::makeFolder(const std::string& windowsPath) const {
    fs::create_directories(host(windowsPath));
    return windowsPath;
}

std::string vectorPath(const std::string& name) { return std::string(TESSALY_VECTORS_DIR) + "/" + name; }

std::string readHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + hostPath);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool setImmutable(const std::string& hostPath, bool on) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

} // namespace testing_support
