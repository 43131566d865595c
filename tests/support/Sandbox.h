#pragma once
// A sandbox for one test: a fresh folder mapped as drive C:, the XDG folders and HOME inside it
// (so the registry database, the Windows folder and the log folder are the sandbox's own), and the
// platform environment reset to read them. Never touches the real home folder.

#include <gtest/gtest.h>

#include <string>

namespace testing_support {

class Sandbox final {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return m_root; } // host folder of drive C:
    // Host path of a Windows-form path inside the sandbox ("C:\a\b.txt" -> root + "/a/b.txt").
    std::string host(const std::string& windowsPath) const;
    // Writes a file (host folders created as needed); returns its Windows-form path.
    std::string writeFile(const std::string& windowsPath, const std::string& content) const;
    std::string readFile(const std::string& windowsPath) const;
    bool exists(const std::string& windowsPath) const;
    std::string makeFolder(const std::string& windowsPath) const;

private:
    std::string m_root;
    std::string m_savedEnv[6];
    bool m_hadEnv[6] = {};
};

// Sets or clears the immutable flag of a host file or folder, which even root may not change past:
// the way a test makes a write-protected place. False where the filesystem or the process's rights
// do not allow it (the test then skips).
bool setImmutable(const std::string& hostPath, bool on);

// Path of a file in the shared test vectors folder.
std::string vectorPath(const std::string& name);
std::string readHostFile(const std::string& hostPath);

// A fixture that gives every test its own sandbox.
class SandboxTest : public ::testing::Test {
protected:
    Sandbox sandbox;
};

} // namespace testing_support
