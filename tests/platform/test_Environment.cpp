#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/Sandbox.h"

using namespace platform;

namespace {
class EnvironmentTest : public testing_support::SandboxTest {};
} // namespace

TEST_F(EnvironmentTest, SpecialFoldersFollowXdgAndAreCreated) {
    const std::string data = sandbox.root() + "/home/.local/share/tessaly";
    EXPECT_EQ(windowsFolderHost(), data + "/Windows");
    EXPECT_EQ(systemFolderHost(), data + "/Windows/System32");
    EXPECT_EQ(favoritesFolderHost(), data + "/Favorites");
    EXPECT_EQ(logFolderHost(), sandbox.root() + "/home/.local/state/tessaly");
    EXPECT_EQ(registryFileHost(), data + "/registry.sqlite3");
    for (const auto& f : {windowsFolderHost(), systemFolderHost(), favoritesFolderHost(), logFolderHost()})
        EXPECT_TRUE(std::filesystem::is_directory(f)) << f;
    // Reachable in Windows form through drive C: of the sandbox.
    EXPECT_EQ(toWindows(systemFolderHost()), "C:\\home\\.local\\share\\tessaly\\Windows\\System32");
    EXPECT_EQ(applicationFolderHost(), std::filesystem::canonical("/proc/self/exe").parent_path().string());
}

TEST_F(EnvironmentTest, DefaultsUnderHomeWithoutXdgVariables) {
    const std::string saved = std::getenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_HOME");
    resetEnvironment();
    EXPECT_EQ(registryFileHost(), sandbox.root() + "/home/.local/share/tessaly/registry.sqlite3");
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

TEST_F(EnvironmentTest, ResetReadsTheEnvironmentAgain) {
    registry().setString(RegRoot::CurrentUser, "K", "v", "first");
    const std::string other = sandbox.root() + "/otherdata";
    const std::string saved = std::getenv("XDG_DATA_HOME");
    setenv("XDG_DATA_HOME", other.c_str(), 1);
    resetEnvironment();
    EXPECT_EQ(registry().file(), other + "/tessaly/registry.sqlite3");
    EXPECT_FALSE(registry().keyExists(RegRoot::CurrentUser, "K"));
    // Without the override in this fresh registry, C: is the host's root again.
    EXPECT_EQ(drives().find('C')->hostFolder, "/");
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
    resetEnvironment();
    EXPECT_TRUE(registry().keyExists(RegRoot::CurrentUser, "K"));
}
