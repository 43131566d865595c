// Where the single-instance socket may live (only a folder of the user's own, closed to others) and
// the check of the peer's user on a connected socket.

#include "ShellTestSupport.h"

#include "platform/Environment.h"
#include "shell/SingleInstance.h"
#include "support/ScopedEnv.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

using testing_support::ScopedEnv;

namespace {

class SingleInstanceTest : public shell_test::ShellTest {};

TEST_F(SingleInstanceTest, TheSocketLivesOnlyInAFolderOfTheUsersOwn) {
    // A socket's path is short (about 100 bytes), and the sandbox lies under the build folder, whose
    // depth depends on where the project was cloned: the folders of this test sit in a short one.
    std::string shortRoot = "/tmp/tsl-siXXXXXX";
    ASSERT_NE(::mkdtemp(shortRoot.data()), nullptr);
    const std::string runtime = shortRoot + "/rt";
    const ScopedEnv shortState("XDG_STATE_HOME", (shortRoot + "/state").c_str());
    const std::string stateFolder = platform::logFolderHost();
    enum class Where { Runtime, State };
    struct Case {
        const char* what;
        bool set;
        unsigned mode;
        bool otherOwner;
        Where where;
    } cases[] = {
        {"private runtime folder", true, 0700, false, Where::Runtime},
        {"runtime folder others may enter", true, 0755, false, Where::State},
        {"runtime folder of another user", true, 0700, true, Where::State},
        {"no runtime folder", false, 0700, false, Where::State},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(runtime);
        ::chmod(runtime.c_str(), c.mode);
        if (c.otherOwner && (::getuid() != 0 || ::chown(runtime.c_str(), 65534, 65534) != 0))
            continue; // only root can give a folder away
        const ScopedEnv env("XDG_RUNTIME_DIR", c.set ? runtime.c_str() : nullptr);
        const std::string name = shell::SingleInstance::serverName().toStdString();
        const std::string folder = fs::path(name).parent_path().string();
        EXPECT_EQ(folder, c.where == Where::Runtime ? runtime : stateFolder) << name;
        EXPECT_TRUE(shell::IsPrivateFolder(folder));
        shell::SingleInstance instance;
        ASSERT_TRUE(instance.listen());
        struct stat st {};
        ASSERT_EQ(::lstat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, ::getuid());
        ::chown(runtime.c_str(), ::getuid(), ::getgid());
    }
    fs::remove_all(shortRoot);
}

TEST_F(SingleInstanceTest, WithNoFolderOfItsOwnThereIsNoSocketAtAll) {
    const ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    const ScopedEnv noHome("HOME", nullptr);
    const ScopedEnv noState("XDG_STATE_HOME", nullptr);
    EXPECT_TRUE(shell::SingleInstance::serverName().isEmpty());
    shell::SingleInstance instance;
    EXPECT_FALSE(instance.listen());
    EXPECT_FALSE(instance.activatePrevious());
}

// A connection from a child process running as `uid`: whether the accepting side sees this user.
std::optional<bool> peerSeenAsThisUser(const std::string& folder, uid_t uid) {
    const std::string path = folder + "/peer.sock";
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ::unlink(path.c_str());
    if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(server, 1) != 0)
        return std::nullopt;
    ::chmod(path.c_str(), 0777);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid != ::getuid() && (::setgid(65534) != 0 || ::setuid(uid) != 0))
            ::_exit(3);
        const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(4);
        char byte = 0;
        (void)::read(client, &byte, 1); // until the other side has looked
        ::_exit(0);
    }
    const int accepted = ::accept(server, nullptr, nullptr);
    const bool same = shell::PeerIsThisUser(accepted);
    ::close(accepted);
    ::close(server);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return same;
}

TEST_F(SingleInstanceTest, OnlyAPeerOfTheSameUserIsListenedTo) {
    const std::string open = sandbox.root() + "/open";
    fs::create_directories(open);
    ::chmod(open.c_str(), 0777);
    ::chmod(sandbox.root().c_str(), 0755);
    EXPECT_EQ(peerSeenAsThisUser(open, ::getuid()), std::optional(true));
    EXPECT_FALSE(shell::PeerIsThisUser(-1));
    if (::getuid() != 0)
        GTEST_SKIP() << "a peer of another user needs root to be made";
    const std::optional<bool> other = peerSeenAsThisUser(open, 65534);
    if (!other)
        GTEST_SKIP() << "the other user could not reach the socket in the sandbox";
    EXPECT_EQ(other, std::optional(false));
}

} // namespace
