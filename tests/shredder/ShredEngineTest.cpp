#include "shredder/ShredEngine.h"

#include "ShredderTestSupport.h"
#include "platform/Attributes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using shredder::ShredEngine;
using shredder::StartPattern;
using shredder_test::firstPass;
using shredder_test::RemovedContent;
using testing_support::SandboxTest;

namespace {
class ShredEngineTest : public SandboxTest {};

std::string fillOf(std::size_t size, char c) {
    return std::string(size, c);
}
} // namespace

TEST(ShredPattern, TheStartRunsFollowTheLevel) {
    const std::string level0 = StartPattern(0);
    ASSERT_EQ(level0.size(), 440u);
    for (std::size_t i = 0; i < level0.size(); i += 4)
        ASSERT_EQ(level0.substr(i, 4), std::string("\x0A\x00\x00\x00", 4)) << i;

    // N = 100: 100 x 0A000000, EA DE, 31 E7, ten runs of "10", eleven one-byte runs, three runs
    // of 0A000000, the 110 fixed values, 100 zero bytes.
    const std::string level1 = StartPattern(1);
    ASSERT_EQ(level1.size(), 52u * 100 + 440);
    EXPECT_EQ(level1.substr(400, 4), "\xEA\xDE\xEA\xDE");
    EXPECT_EQ(level1.substr(600, 2), "\x31\xE7");
    EXPECT_EQ(level1.substr(800, 4), "1010");
    EXPECT_EQ(level1.substr(2800 + 200, 100), std::string(100, 'V'));
    EXPECT_EQ(level1.substr(2800 + 500, 1), "\x97");
    EXPECT_EQ(level1.substr(level1.size() - 100), std::string(100, '\0'));
}

TEST_F(ShredEngineTest, EveryByteIsOverwrittenBeforeTheNameGoes) {
    const struct {
        const char* name;
        std::size_t size;
        bool readOnly;
    } cases[] = {
        {"small.txt", 100, false}, {"big.bin", 1 << 20, false}, {"readonly.txt", 5000, true}, {"empty.txt", 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.writeFile(std::string("C:\\Docs\\") + c.name, fillOf(c.size, 'Q'));
        const std::string host = sandbox.host(std::string("C:\\Docs\\") + c.name);
        if (c.readOnly)
            fs::permissions(host, fs::perms::owner_read | fs::perms::group_read);
        RemovedContent removed;
        ShredEngine engine(0);
        EXPECT_EQ(engine.bytesToWrite(host), std::max<std::size_t>(c.size, 440));
        EXPECT_TRUE(engine.shred(host));
        EXPECT_TRUE(engine.failures().empty());
        EXPECT_FALSE(fs::exists(fs::symlink_status(host)));
        EXPECT_EQ(removed.of(host), firstPass(c.size));
        EXPECT_EQ(engine.written(), std::max<std::size_t>(c.size, 440));
    }
    // Nothing else is left in the folder (no renamed copy).
    EXPECT_TRUE(fs::is_empty(sandbox.host("C:\\Docs")));

    // A folder without write permission keeps it: only the shredded file is gone.
    sandbox.writeFile("C:\\Docs\\last.txt", "last");
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec;
    fs::permissions(sandbox.host("C:\\Docs"), readOnly);
    ShredEngine engine(0);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Docs\\last.txt")));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\last.txt"));
    EXPECT_EQ(fs::status(sandbox.host("C:\\Docs")).permissions(), readOnly);
}

TEST_F(ShredEngineTest, FurtherLevelsWriteFurtherPasses) {
    const std::string original = fillOf(200000, 'Q');
    sandbox.writeFile("C:\\two.bin", original);
    sandbox.writeFile("C:\\three.bin", original);
    const std::string two = sandbox.host("C:\\two.bin");
    const std::string three = sandbox.host("C:\\three.bin");
    RemovedContent removed;

    ShredEngine level1(1);
    ASSERT_TRUE(level1.shred(sandbox.host("C:\\two.bin")));
    EXPECT_EQ(level1.written(), 2u * 200000);
    const std::string random = removed.of(two);
    ASSERT_EQ(random.size(), original.size());
    EXPECT_EQ(random.find(std::string(16, 'Q')), std::string::npos);
    EXPECT_EQ(random.find(std::string(16, '\0')), std::string::npos); // the last pass was not the zeros

    ShredEngine level2(2);
    ASSERT_TRUE(level2.shred(sandbox.host("C:\\three.bin")));
    EXPECT_EQ(removed.of(three), fillOf(200000, '\xFF'));
}

TEST_F(ShredEngineTest, AFolderIsOverwrittenInsideAndLinksAreNeverFollowed) {
    sandbox.writeFile("C:\\Outside\\keep.txt", "outside content");
    sandbox.writeFile("C:\\Tree\\a.txt", fillOf(3000, 'A'));
    sandbox.writeFile("C:\\Tree\\Sub\\Deeper\\b.txt", fillOf(10, 'B'));
    RemovedContent removed;
    fs::create_symlink(sandbox.host("C:\\Outside\\keep.txt"), sandbox.host("C:\\Tree\\filelink"));
    fs::create_directory_symlink(sandbox.host("C:\\Outside"), sandbox.host("C:\\Tree\\Sub\\dirlink"));
    ASSERT_EQ(::mkfifo(sandbox.host("C:\\Tree\\pipe").c_str(), 0600), 0);
    fs::permissions(sandbox.host("C:\\Tree\\Sub\\Deeper"), fs::perms::owner_read | fs::perms::owner_exec);

    ShredEngine engine(0);
    EXPECT_EQ(engine.bytesToWrite(sandbox.host("C:\\Tree")), 3000u + 440);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Tree")));
    EXPECT_TRUE(engine.failures().empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(sandbox.host("C:\\Tree"))));
    EXPECT_EQ(removed.of(sandbox.host("C:\\Tree\\a.txt")), firstPass(3000));
    EXPECT_EQ(removed.of(sandbox.host("C:\\Tree\\Sub\\Deeper\\b.txt")), firstPass(10));
    EXPECT_EQ(sandbox.readFile("C:\\Outside\\keep.txt"), "outside content");
}

TEST_F(ShredEngineTest, EmptyingKeepsTheFolderAndItsPermissions) {
    sandbox.writeFile("C:\\Temp\\a.txt", "a");
    sandbox.writeFile("C:\\Temp\\Sub\\b.txt", "b");
    RemovedContent removed;
    // Without write permission on it the folder is still emptied, and keeps its permissions.
    const auto perms = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec;
    fs::permissions(sandbox.host("C:\\Temp"), perms);

    ShredEngine engine(0);
    EXPECT_TRUE(engine.Nuke(sandbox.host("C:\\Temp")));
    EXPECT_TRUE(fs::is_directory(sandbox.host("C:\\Temp")));
    EXPECT_TRUE(fs::is_empty(sandbox.host("C:\\Temp")));
    EXPECT_EQ(fs::status(sandbox.host("C:\\Temp")).permissions(), perms);
    EXPECT_EQ(removed.of(sandbox.host("C:\\Temp\\a.txt")), firstPass(1));
}

TEST_F(ShredEngineTest, AFileInUseIsReportedAndTheRestStillGoes) {
    // A running program's file cannot be opened for writing (ETXTBSY).
    sandbox.makeFolder("C:\\Busy");
    const std::string program = sandbox.host("C:\\Busy\\sleeper");
    fs::copy_file("/bin/sleep", program);
    fs::permissions(program, fs::perms::owner_all);
    sandbox.writeFile("C:\\Busy\\other.txt", "other");
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(program.c_str(), "sleeper", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    // The file is busy once the child runs it: wait for that, not for a time.
    const std::string exe = "/proc/" + std::to_string(child) + "/exe";
    for (int i = 0; i < 60000; ++i) {
        std::error_code ec;
        if (fs::read_symlink(exe, ec) == program)
            break;
        ::usleep(1000);
    }
    ASSERT_EQ(fs::read_symlink(exe), program);

    ShredEngine engine(0);
    EXPECT_FALSE(engine.shred(sandbox.host("C:\\Busy")));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    ASSERT_EQ(engine.failures().size(), 1u);
    EXPECT_EQ(engine.failures()[0].hostPath, program);
    EXPECT_EQ(engine.failures()[0].reason, "Text file busy");
    EXPECT_FALSE(sandbox.exists("C:\\Busy\\other.txt"));
    EXPECT_TRUE(fs::exists(program));
}

TEST_F(ShredEngineTest, AHiddenItemLeavesItsFolderList) {
    sandbox.writeFile("C:\\Docs\\gone.txt", "g");
    sandbox.writeFile("C:\\Docs\\stays.txt", "s");
    platform::setAttributes("C:\\Docs\\gone.txt", platform::kAttrHidden | platform::kAttrReadOnly);
    platform::setAttributes("C:\\Docs\\stays.txt", platform::kAttrHidden);
    ASSERT_EQ(sandbox.readFile("C:\\Docs\\.hidden"), "gone.txt\nstays.txt\n");

    ShredEngine engine(0);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Docs\\gone.txt")));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\.hidden"), "stays.txt\n");
}

TEST_F(ShredEngineTest, TheNameGoesThroughEverShorterRandomNamesBeforeItGoes) {
    // The old name must not stay readable in the folder's blocks: it is replaced by a random name of
    // its length, then by ever shorter ones down to one character, and only then removed.
    const std::string original = "a-long-secret-name.txt";
    sandbox.writeFile("C:\\Names\\" + original, "content");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, sandbox.host("C:\\Names").c_str(), IN_MOVED_TO), 0);
    std::string removedAs;
    shredder::SetShredTestHooks(
        {nullptr, [&](int, const std::string& name, const std::string&) { removedAs = name; }});
    ShredEngine engine(0);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Names\\" + original)));
    shredder::SetShredTestHooks({});

    std::vector<std::string> names;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n = 0; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            names.emplace_back(event->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    ::close(watch);
    ASSERT_EQ(names.size(), original.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i].size(), original.size() - i) << names[i];
        EXPECT_NE(names[i], original);
    }
    EXPECT_EQ(removedAs, names.back());
    EXPECT_TRUE(fs::is_empty(sandbox.host("C:\\Names")));
}

namespace {

// Runs `body` in a child process bound by file permissions as any user is: root's override of them
// is dropped. Returns the child's wait status; -1 when the override cannot be dropped here.
int withoutPermissionOverride(const std::function<int()>& body) {
    if (::geteuid() != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) != 0)
            ::_exit(100);
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            data[cap / 32].effective &= ~(1u << (cap % 32));
        if (::syscall(SYS_capset, &header, data) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 100 ? -1 : status;
}

fs::perms permsOf(const std::string& host) {
    return fs::symlink_status(host).permissions();
}

} // namespace

TEST_F(ShredEngineTest, PermissionsWidenedForAMomentComeBackEvenAfterAKill) {
    // A folder without write permission, and a read-only file: to shred the file, the engine widens
    // them for as long as it works. Whatever happens then (done, failed, killed), the user finds them
    // with their own permissions again: at once, or from the next run after a kill.
    const auto folderMode = fs::perms::owner_read | fs::perms::owner_exec; // 0500
    const auto fileMode = fs::perms::owner_read;                          // 0400
    enum class End { Done, Failed, Killed };
    const struct {
        const char* what;
        bool readOnlyFolder;
        bool hardLinked; // makes the shred fail after the folder was widened
        End end;
    } cases[] = {
        {"done in a read-only folder", true, false, End::Done},
        {"failed in a read-only folder", true, true, End::Failed},
        {"killed once the folder was widened", true, false, End::Killed},
        {"killed once the file was widened", false, false, End::Killed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox.writeFile("C:\\Kept\\file.txt", "kept content");
        const std::string folder = sandbox.host("C:\\Kept");
        const std::string file = sandbox.host("C:\\Kept\\file.txt");
        if (c.hardLinked)
            fs::create_hard_link(file, sandbox.host("C:\\other-name.txt"));
        fs::permissions(file, fileMode);
        if (c.readOnlyFolder)
            fs::permissions(folder, folderMode);
        const fs::perms folderBefore = permsOf(folder);

        const int status = withoutPermissionOverride([&] {
            if (c.end == End::Killed)
                shredder::SetShredTestHooks({nullptr, nullptr, [](const std::string&) { ::raise(SIGKILL); }});
            ShredEngine engine(0);
            return engine.shred(file) ? 0 : 1;
        });
        if (status == -1)
            GTEST_SKIP() << "the permission override of root cannot be dropped here";

        if (c.end == End::Killed) {
            ASSERT_TRUE(WIFSIGNALED(status));
            // Left widened by the kill, and written down: the next run puts it back.
            const std::string widened = c.readOnlyFolder ? folder : file;
            EXPECT_NE(permsOf(widened), c.readOnlyFolder ? folderMode : fileMode);
            EXPECT_EQ(shredder::RestoreLoosenedModes(), 1u);
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), c.end == End::Done ? 0 : 1);
            EXPECT_EQ(shredder::RestoreLoosenedModes(), 0u);
        }
        EXPECT_EQ(permsOf(folder), folderBefore);
        if (c.end == End::Done) {
            EXPECT_FALSE(fs::exists(file));
        } else {
            EXPECT_EQ(permsOf(file), fileMode);
            EXPECT_EQ(testing_support::readHostFile(file), "kept content");
        }
        // No journal is left behind.
        const std::string journals = sandbox.host("C:\\home\\.local\\state\\tessaly\\shred-modes");
        EXPECT_TRUE(!fs::exists(journals) || fs::is_empty(journals));
        fs::permissions(folder, fs::perms::owner_all);
        fs::remove_all(folder);
        fs::remove(sandbox.host("C:\\other-name.txt"));
    }
}

TEST_F(ShredEngineTest, ASparseFileHasItsDataOverwrittenAndNoHoleFilled) {
    // 1 GiB as the system counts it, two data blocks of 4 KiB (one at the start, one far in).
    const std::string host = sandbox.host("C:\\sparse.bin");
    constexpr off_t kFar = 700 << 20;
    {
        const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const std::string data(4096, 'S');
        ASSERT_EQ(::pwrite(fd, data.data(), data.size(), 0), 4096);
        ASSERT_EQ(::pwrite(fd, data.data(), data.size(), kFar), 4096);
        ASSERT_EQ(::ftruncate(fd, 1 << 30), 0);
        ASSERT_EQ(::fsync(fd), 0);
        ::close(fd);
    }
    struct stat before {};
    ASSERT_EQ(::stat(host.c_str(), &before), 0);
    if (static_cast<std::uint64_t>(before.st_blocks) * 512 > 64 * 4096)
        GTEST_SKIP() << "this file system keeps no holes";

    ShredEngine engine(0);
    EXPECT_EQ(engine.bytesToWrite(host), static_cast<std::uint64_t>(before.st_blocks) * 512);
    // Just before the name goes: the data blocks hold the first pass, and the file holds no more disk
    // than it did.
    struct stat atTheEnd {};
    std::string start;
    std::string far;
    shredder::SetShredTestHooks({nullptr, [&](int dirFd, const std::string& name, const std::string&) {
                                     const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC);
                                     if (fd < 0)
                                         return;
                                     ::fstat(fd, &atTheEnd);
                                     start.resize(4096);
                                     far.resize(4096);
                                     start.resize(static_cast<std::size_t>(std::max<ssize_t>(
                                         0, ::pread(fd, start.data(), start.size(), 0))));
                                     far.resize(static_cast<std::size_t>(
                                         std::max<ssize_t>(0, ::pread(fd, far.data(), far.size(), kFar))));
                                     ::close(fd);
                                 }});
    EXPECT_TRUE(engine.shred(host));
    shredder::SetShredTestHooks({});
    EXPECT_TRUE(engine.failures().empty());
    EXPECT_EQ(engine.written(), static_cast<std::uint64_t>(before.st_blocks) * 512);
    EXPECT_LE(atTheEnd.st_blocks, before.st_blocks);
    EXPECT_EQ(atTheEnd.st_size, 1 << 30);
    EXPECT_EQ(start, firstPass(4096));
    EXPECT_EQ(far, std::string(4096, '\0'));
    EXPECT_FALSE(fs::exists(host));
}
