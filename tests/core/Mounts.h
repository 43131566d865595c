#pragma once
// Filesystems mounted inside a test's sandbox, for the tests that need another kind of volume: a
// ramfs (which refuses user extended attributes, as vfat, exFAT and NFSv3 volumes do) and a small
// ext4 image on a loop device that can be unmounted and mounted again. Both need root; a test that
// cannot have one skips with the reason `why()` gives. Everything is unmounted on destruction.

#include "support/Sandbox.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace core_tests {

// A sandbox folder (Windows form) with a ramfs mounted on it.
class NoXattrFolder final {
public:
    NoXattrFolder(const testing_support::Sandbox& sandbox, const std::string& windowsFolder)
        : m_host(sandbox.host(windowsFolder)) {
        if (::geteuid() != 0) {
            m_why = "mounting a filesystem without user attributes (ramfs) needs root";
            return;
        }
        std::filesystem::create_directories(m_host);
        if (::mount("ramfs", m_host.c_str(), "ramfs", 0, "mode=0700") != 0) {
            m_why = "this system refuses to mount a ramfs here";
            return;
        }
        m_mounted = true;
        // The point of it: user attributes are refused there.
        const std::string probe = m_host + "/probe";
        std::ofstream(probe).put('x');
        const bool refused =
            ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) != 0 && (errno == ENOTSUP || errno == EOPNOTSUPP);
        std::remove(probe.c_str());
        if (!refused)
            m_why = "the ramfs of this system keeps user attributes";
    }
    ~NoXattrFolder() {
        if (m_mounted)
            ::umount2(m_host.c_str(), MNT_DETACH);
    }
    NoXattrFolder(const NoXattrFolder&) = delete;
    NoXattrFolder& operator=(const NoXattrFolder&) = delete;

    bool ok() const { return m_why.empty(); }
    const std::string& why() const { return m_why; }

private:
    std::string m_host;
    std::string m_why;
    bool m_mounted = false;
};

// How a LoopVolume is made: the program that makes the filesystem (given the image as its last
// argument), the image's size, and the options it is mounted with.
struct VolumeKind {
    std::string mkfs = "mkfs.ext4 -q -F";
    std::size_t megabytes = 8;
    std::string options = {};
};

// A small ext4 image (or another kind) in the sandbox, mounted on a sandbox folder by mount(8) (which
// sets up the loop device), that the test may unmount and mount again.
class LoopVolume final {
public:
    LoopVolume(const testing_support::Sandbox& sandbox, const std::string& windowsFolder, VolumeKind kind = {})
        : m_image(sandbox.root() + "/volume-" + std::to_string(++count()) + ".img"),
          m_host(sandbox.host(windowsFolder)), m_options(kind.options) {
        if (::geteuid() != 0) {
            m_why = "a loop-mounted image needs root";
            return;
        }
        std::filesystem::create_directories(m_host);
        {
            std::ofstream out(m_image, std::ios::binary);
            out.seekp(static_cast<std::streamoff>((kind.megabytes << 20) - 1));
            out.put('\0');
        }
        const std::string program = kind.mkfs.substr(0, kind.mkfs.find(' '));
        if (run("command -v " + program + " >/dev/null 2>&1") != 0) {
            m_why = program + " is not available";
            return;
        }
        if (run(kind.mkfs + " '" + m_image + "' >/dev/null 2>&1") != 0) {
            m_why = program + " could not make a filesystem in the image";
            return;
        }
        if (!mount()) {
            m_why = "this system cannot mount a loop image";
            return;
        }
        // Its root folder as a user would have it: writable by the owner.
        ::chmod(m_host.c_str(), 0755);
    }
    ~LoopVolume() {
        if (m_mounted)
            ::umount2(m_host.c_str(), MNT_DETACH);
    }
    LoopVolume(const LoopVolume&) = delete;
    LoopVolume& operator=(const LoopVolume&) = delete;

    bool ok() const { return m_why.empty(); }
    const std::string& why() const { return m_why; }

    bool mount() {
        const std::string options = m_options.empty() ? "loop" : "loop," + m_options;
        m_mounted = run("mount -o " + options + " '" + m_image + "' '" + m_host + "' >/dev/null 2>&1") == 0;
        return m_mounted;
    }
    // The image file (host path), to read what the volume holds once it is unmounted.
    const std::string& image() const { return m_image; }
    // The loop device's name ("loop3") while mounted, from the mount table; "" when not found.
    std::string device() const {
        std::ifstream table("/proc/self/mountinfo");
        std::string line;
        while (std::getline(table, line)) {
            const std::size_t at = line.find(" " + m_host + " ");
            const std::size_t dash = line.find(" - ");
            if (at == std::string::npos || dash == std::string::npos || at > dash)
                continue;
            const std::size_t source = line.find(' ', dash + 3) + 1;
            const std::string path = line.substr(source, line.find(' ', source) - source);
            return path.substr(path.rfind('/') + 1);
        }
        return {};
    }
    // Unmounts (the loop device goes with it); the folder stays, empty, as a mount point does.
    bool unmount() {
        if (!m_mounted || ::umount2(m_host.c_str(), 0) != 0)
            return false;
        m_mounted = false;
        return true;
    }

private:
    static int run(const std::string& command) { return std::system(command.c_str()); }
    static int& count() {
        static int n = 0;
        return n;
    }

    std::string m_image;
    std::string m_host;
    std::string m_options;
    std::string m_why;
    bool m_mounted = false;
};

// The block device's rotational flag, set for the test and put back after it.
class RotationalFlag final {
public:
    // `device`: its name ("loop3").
    explicit RotationalFlag(const std::string& device) : m_path("/sys/block/" + device + "/queue/rotational") {
        std::ifstream(m_path) >> m_before;
    }
    ~RotationalFlag() {
        if (!m_before.empty())
            std::ofstream(m_path) << m_before;
    }
    RotationalFlag(const RotationalFlag&) = delete;
    RotationalFlag& operator=(const RotationalFlag&) = delete;
    // True when the flag now reads `value` ("0": flash, "1": a spinning disk).
    bool set(const char* value) {
        std::ofstream(m_path) << value;
        std::string now;
        std::ifstream(m_path) >> now;
        return !m_before.empty() && now == value;
    }

private:
    std::string m_path;
    std::string m_before;
};

} // namespace core_tests
