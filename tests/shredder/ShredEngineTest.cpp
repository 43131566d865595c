#include "shredder/ShredEngine.h"

#include "ShredderTestSupport.h"
#include "platform/Attributes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
