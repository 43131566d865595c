// The program's folders and files are private whatever the umask, and it never falls back to a
// shared folder for its data.

#include "platform/CoreDumps.h"
#include "platform/Environment.h"
#include "platform/PrivateFiles.h"
#include "platform/Registry.h"
#include "platform/SysError.h"

#include "support/Sandbox.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

using testing_support::ScopedEnv;

namespace {

unsigned modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}


class ScopedUmask final {
public:
    explicit ScopedUmask(mode_t mask) : m_saved(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_saved); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t m_saved;
};

class PrivateFilesTest : public testing_support::SandboxTest {
protected:
    // Fresh data, state and config folders inside the sandbox, read afresh by the platform.
    void freshFolders() {
        const std::string base = sandbox.root() + "/fresh";
        data.emplace("XDG_DATA_HOME", (base + "/data").c_str());
        state.emplace("XDG_STATE_HOME", (base + "/state").c_str());
        config.emplace("XDG_CONFIG_HOME", (base + "/config").c_str());
        platform::resetEnvironment();
    }
    std::optional<ScopedEnv> data, state, config;
};

TEST_F(PrivateFilesTest, FoldersAndTheRegistryWithItsJournalAreCreatedPrivateUnderUmask022) {
    const ScopedUmask umask022(022);
    freshFolders();
    auto& reg = platform::registry();
    ASSERT_EQ(reg.setString(platform::RegRoot::CurrentUser, "Software\\T", "v", "x"), platform::kRegSuccess);
    EXPECT_EQ(modeOf(platform::dataFolderHost()), 0700u);
    EXPECT_EQ(modeOf(platform::registryFileHost()), 0600u);
    for (const std::string& folder : {platform::windowsFolderHost(), platform::systemFolderHost(),
                                      platform::favoritesFolderHost(), platform::logFolderHost()})
        EXPECT_EQ(modeOf(folder), 0700u) << folder;

    // The rollback journal, looked at while a transaction has it.
    std::optional<unsigned> journalMode;
    reg.setChangeHook([&](std::size_t) {
        journalMode = modeOf(platform::registryFileHost() + "-journal");
        return true;
    });
    ASSERT_EQ(reg.apply(platform::RegRoot::CurrentUser, {}, {{"Software\\T", "v", platform::RegValue{platform::REG_SZ, "y"}}}),
              platform::kRegSuccess);
    reg.setChangeHook({});
    ASSERT_TRUE(journalMode.has_value());
    EXPECT_EQ(*journalMode, 0600u);
}

TEST_F(PrivateFilesTest, WhatAnEarlierRunLeftLooserIsTightenedAtStartAndLinksAreLeftAlone) {
    const ScopedUmask umask022(022);
    freshFolders();
    const std::string dataDir = platform::dataFolderHost();
    const std::string configDir = platform::configFolderHost();
    fs::create_directories(dataDir + "/Windows/System32");
    fs::create_directories(configDir);
    const std::string outside = sandbox.root() + "/outside.txt";
    for (const std::string& f : {dataDir + "/registry.sqlite3", dataDir + "/Windows/System32/systemtsl1.tcl",
                                 platform::logFolderHost() + "/Tessaly.LOG", configDir + "/settings", outside})
        std::ofstream(f) << "x";
    for (const std::string& p : {dataDir, dataDir + "/Windows", dataDir + "/Windows/System32", configDir,
                                 platform::logFolderHost()})
        fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(outside, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    fs::create_symlink(outside, dataDir + "/link");

    platform::TightenPrivateFolders();
    for (const std::string& p : {dataDir, dataDir + "/Windows", dataDir + "/Windows/System32", configDir,
                                 platform::logFolderHost()})
        EXPECT_EQ(modeOf(p), 0700u) << p;
    for (const std::string& f : {dataDir + "/registry.sqlite3", dataDir + "/Windows/System32/systemtsl1.tcl",
                                 platform::logFolderHost() + "/Tessaly.LOG", configDir + "/settings"})
        EXPECT_EQ(modeOf(f), 0600u) << f;
    EXPECT_EQ(modeOf(outside), 0604u); // a link's target outside is not the program's
}

TEST_F(PrivateFilesTest, WithoutHomeOrXdgFoldersTheProgramRefusesInsteadOfUsingTmp) {
    const ScopedEnv noHome("HOME", nullptr);
    struct Case {
        const char* dataHome;
        const char* stateHome;
        bool refused;
    } cases[] = {{nullptr, nullptr, true}, {"/x/data", nullptr, true}, {nullptr, "/x/state", true},
                 {"relative/data", "/x/state", true}, {"/x/data", "/x/state", false}};
    for (const Case& c : cases) {
        const ScopedEnv d("XDG_DATA_HOME", c.dataHome);
        const ScopedEnv s("XDG_STATE_HOME", c.stateHome);
        platform::resetEnvironment();
        const std::string problem = platform::PrivateFoldersProblem();
        EXPECT_EQ(!problem.empty(), c.refused) << problem;
        if (c.refused) {
            EXPECT_NE(problem.find("HOME"), std::string::npos) << problem;
        }
        if (!c.dataHome || c.dataHome[0] != '/') {
            EXPECT_THROW(platform::registryFileHost(), platform::SysError);
            EXPECT_THROW(platform::registry(), platform::SysError);
        } else {
            EXPECT_EQ(platform::registryFileHost(), std::string(c.dataHome) + "/tessaly/registry.sqlite3");
        }
    }
    platform::resetEnvironment();
}

TEST_F(PrivateFilesTest, OpenPrivateFileMakesAnExistingFile0600AndFollowsNoLink) {
    const ScopedUmask umask022(022);
    const std::string file = sandbox.root() + "/f";
    std::ofstream(file) << "x";
    fs::permissions(file, fs::perms::all);
    int fd = platform::OpenPrivateFile(file, O_WRONLY);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(modeOf(file), 0600u);
    fs::create_symlink(file, sandbox.root() + "/l");
    fs::permissions(file, fs::perms::all);
    EXPECT_LT(platform::OpenPrivateFile(sandbox.root() + "/l", O_WRONLY), 0);
    EXPECT_EQ(modeOf(file), 0777u);
}

} // namespace

namespace {

// In a child process (the setting is for good): after the call the process makes no core file and
// is not dumpable.
TEST(CoreDumpsTest, AfterTheCallNoCoreIsWrittenAndTheProcessIsNotDumpable) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!platform::DisableCoreDumps())
            ::_exit(1);
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_CORE, &limit) != 0 || limit.rlim_cur != 0 || limit.rlim_max != 0)
            ::_exit(2);
        if (::prctl(PR_GET_DUMPABLE) != 0)
            ::_exit(3);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
