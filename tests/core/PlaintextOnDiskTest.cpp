// What a lock leaves where someone else could look: a strong lock overwrites its plaintext source
// (and the name leaves the folder's blocks) before removing it, says when the disk may keep copies
// anyway, reports a file that gained a name while it was locked as not locked safely, and never takes
// another user's file that may still be written.

#include "EngineFixture.h"
#include "Mounts.h"
#include "core/LockRun.h"
#include "core/StrongFormat.h"
#include "platform/Overwrite.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string_view>
#include <unordered_set>

using core_tests::EngineTest;
using core_tests::LoopVolume;
using core_tests::randomContent;
using core_tests::RotationalFlag;
using core_tests::VolumeKind;

namespace {

std::string readWhole(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whether `haystack` holds any run of `run` bytes of `needle`.
bool holdsRunOf(const std::string& haystack, const std::string& needle, std::size_t run) {
    std::unordered_set<std::string_view> windows;
    for (std::size_t i = 0; i + run <= needle.size(); ++i)
        windows.insert(std::string_view(needle).substr(i, run));
    for (std::size_t i = 0; i + run <= haystack.size(); ++i)
        if (windows.count(std::string_view(haystack).substr(i, run)) != 0)
            return true;
    return false;
}

} // namespace

class PlaintextOnDiskTest : public EngineTest {
protected:
    core::EngineContext strongContext() {
        core::EngineContext ctx = context();
        ctx.strongLocks = true;
        ctx.strongLimits = core::strong::kMinimumLimits;
        return ctx;
    }
};

TEST_F(PlaintextOnDiskTest, AStrongLockLeavesNeitherThePlaintextNorTheNameOnTheVolume) {
    // Without a journal, so that what the folder's blocks keep is what is looked at; the journal's
    // own copies of metadata are not promised away (the manual says so). With the default journal
    // (data=ordered), data never goes through it: the content is looked for there too.
    const struct {
        const char* label;
        VolumeKind kind;
        bool nameChecked;
    } cases[] = {{"no journal", {"mkfs.ext4 -q -F -O ^has_journal", 8, ""}, true},
                 {"ordered journal", {"mkfs.ext4 -q -F", 8, ""}, false}};
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string folder = "C:\\Volume" + std::to_string(++round);
        LoopVolume volume(sandbox, folder, c.kind);
        if (!volume.ok())
            GTEST_SKIP() << volume.why();
        const std::string name = "quarterly-report-for-the-board.txt";
        const std::string content = randomContent(60000, 1234);
        const std::string plain = sandbox.writeFile(folder + "\\" + name, content);
        // On the disk before the lock: otherwise there would be nothing to find anyway.
        {
            const int fd = ::open(sandbox.host(plain).c_str(), O_RDONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::fsync(fd), 0);
            ::close(fd);
            ::sync();
        }
        ASSERT_TRUE(holdsRunOf(readWhole(volume.image()), content, 64)) << "the plaintext never reached the image";

        ASSERT_EQ(core::LockFilesTogether({plain}, "pw", strongContext()), std::vector<bool>{true}) << boxList();
        EXPECT_FALSE(sandbox.exists(plain));
        ASSERT_TRUE(volume.unmount());
        const std::string image = readWhole(volume.image());
        EXPECT_FALSE(holdsRunOf(image, content, 64));
        if (c.nameChecked) {
            EXPECT_EQ(image.find(name), std::string::npos);
            EXPECT_EQ(image.find("quarterly-report"), std::string::npos);
        }
    }
}

TEST_F(PlaintextOnDiskTest, TheVerdictNamesWhatEachKindOfVolumeMayKeep) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting test volumes needs root";
    using platform::OverwriteHolds;
    // ext4 on a loop image with its device's rotational flag set each way, ext4 keeping data in its
    // journal, and btrfs where it can be made.
    const struct {
        const char* label;
        VolumeKind kind;
        const char* rotational; // set on the loop device first (nullptr: left as it is)
        OverwriteHolds expected;
    } cases[] = {
        {"ext4 on a disk", {}, "1", OverwriteHolds::Yes},
        {"ext4 on flash", {}, "0", OverwriteHolds::Flash},
        {"ext4 journalling data", {"mkfs.ext4 -q -F", 8, "data=journal"}, "1", OverwriteHolds::DataJournal},
        {"btrfs", {"mkfs.btrfs -q -f", 128, ""}, nullptr, OverwriteHolds::CopyOnWrite},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string folder = "C:\\Kind" + std::to_string(++round);
        LoopVolume volume(sandbox, folder, c.kind);
        if (!volume.ok()) {
            // Only btrfs may be missing here (mkfs.btrfs is not installed everywhere).
            EXPECT_EQ(c.expected, OverwriteHolds::CopyOnWrite) << volume.why();
            std::cout << "[ SKIPPED  ] " << c.label << ": " << volume.why() << "\n";
            continue;
        }
        const std::string file = sandbox.writeFile(folder + "\\a.txt", "a");
        std::optional<RotationalFlag> flag;
        if (c.rotational) {
            flag.emplace(volume.device());
            if (!flag->set(c.rotational)) {
                std::cout << "[ SKIPPED  ] " << c.label << ": the loop device's rotational flag cannot be set\n";
                continue;
            }
        }
        for (const std::string& path : {sandbox.host(folder), sandbox.host(file)}) {
            const platform::OverwriteVerdict verdict = platform::overwriteVerdictAt(path);
            EXPECT_EQ(verdict.kind, c.expected) << path;
            EXPECT_EQ(platform::overwriteWarning(verdict).empty(), c.expected == OverwriteHolds::Yes);
        }
    }

    // Memory: what is overwritten is the page that held it.
    const std::string ram = sandbox.makeFolder("C:\\Ram");
    ASSERT_EQ(::mount("tmpfs", sandbox.host(ram).c_str(), "tmpfs", 0, "size=1m"), 0);
    const platform::OverwriteVerdict verdict = platform::overwriteVerdictAt(sandbox.host(ram));
    ::umount2(sandbox.host(ram).c_str(), MNT_DETACH);
    EXPECT_EQ(verdict.kind, OverwriteHolds::Yes);
    EXPECT_EQ(verdict.filesystem, "tmpfs");
}

TEST_F(PlaintextOnDiskTest, AStrongLockOnADiskThatMayKeepCopiesSaysSoOnceAndStillLocks) {
    const std::string folder = "C:\\Flash";
    LoopVolume volume(sandbox, folder);
    if (!volume.ok())
        GTEST_SKIP() << volume.why();
    RotationalFlag flag(volume.device());
    if (!flag.set("0"))
        GTEST_SKIP() << "the loop device's rotational flag cannot be set";
    std::vector<core::RunItem> items;
    for (const char* name : {"one.txt", "two.txt"}) {
        sandbox.writeFile(folder + "\\" + name, std::string("content of ") + name);
        items.push_back({folder, name, name});
    }
    core::RunPolicy policy;
    policy.registerPath = reg;
    policy.strong = true;
    const core::RunOutcome run = core::LockRun(items, "pw", policy, prompt);
    EXPECT_EQ(run.done, 2) << boxList();
    EXPECT_EQ(run.diskWarning, platform::overwriteWarning({platform::OverwriteHolds::Flash, "ext4"}));
    EXPECT_NE(run.diskWarning.find("This disk may keep copies of the original"), std::string::npos);
    EXPECT_NE(run.diskWarning.find("use full-disk encryption"), std::string::npos);

    // The formats that only hide a file say nothing of the disk.
    sandbox.writeFile(folder + "\\three.txt", "three");
    policy.strong = false;
    EXPECT_EQ(core::LockRun({{folder, "three.txt", "three.txt"}}, "pw", policy, prompt).diskWarning, "");
}

TEST_F(PlaintextOnDiskTest, AFileThatGainsANameWhileItIsLockedIsNotLockedSafely) {
    const struct {
        const char* label;
        bool strong;
        std::size_t size;
    } cases[] = {{"strong", true, 5000}, {"small", false, 5000}, {"large", false, 300000}};
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        prompt.boxes.clear();
        const std::string folder = "C:\\Gained" + std::to_string(++round);
        const std::string content = randomContent(c.size, 99);
        const std::string plain = sandbox.writeFile(folder + "\\report.txt", content);
        const std::string other = sandbox.host(folder + "\\copy.txt");
        core::EngineContext ctx = c.strong ? strongContext() : context();
        // Between the pin and the end: the results are written, nothing is removed yet.
        ctx.checkpoint = [&](const char* step) {
            if (std::string(step) == "written") {
                ASSERT_EQ(::link(sandbox.host(plain).c_str(), other.c_str()), 0);
            }
        };

        EXPECT_EQ(core::LockFilesTogether({plain}, "pw", ctx), std::vector<bool>{false});
        ASSERT_EQ(prompt.boxes.size(), 1u) << boxList();
        EXPECT_EQ(prompt.last().text, "'report.txt' was locked, but not locked safely: its content is still readable "
                                      "under another name (a hard link to it was made while it was being locked).");
        // Locked: its name is gone and the locked copy kept; the other name was not overwritten.
        EXPECT_FALSE(sandbox.exists(plain));
        EXPECT_EQ(readWhole(other), content);
        std::size_t locked = 0;
        for (const std::string& name : listing(folder))
            locked += name != "copy.txt";
        EXPECT_EQ(locked, 1u);
    }
}

TEST_F(PlaintextOnDiskTest, AnotherUsersFileIsRefusedUnlessALeaseCanBeTaken) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "making another user's file needs root";
    // A file of another user (nobody), held open for writing by a process, or not.
    for (const bool held : {true, false}) {
        SCOPED_TRACE(held ? "held open by its owner" : "not open");
        prompt.boxes.clear();
        const std::string folder = sandbox.makeFolder(held ? "C:\\Shared1" : "C:\\Shared2");
        const std::string path = folder + "\\notes.txt";
        const std::string host = sandbox.host(path);
        int ready[2];
        int done[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(done), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // The owner: makes the file, gives it to that user and keeps it open until told.
            const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
            if (fd < 0 || ::fchown(fd, 65534, 65534) != 0 || ::write(fd, "line 1\n", 7) != 7)
                ::_exit(4);
            if (!held)
                ::close(fd);
            char c = 'r';
            [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
            [[maybe_unused]] auto r = ::read(done[0], &c, 1);
            if (held && ::write(fd, "line 2\n", 7) != 7)
                ::_exit(5);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(done[0]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1) << "the other user's process did not start";

        const std::vector<bool> result = core::LockFilesTogether({path}, "pw", context());

        ASSERT_EQ(::write(done[1], &c, 1), 1);
        int status = 0;
        ::waitpid(child, &status, 0);
        ::close(ready[0]);
        ::close(done[1]);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the owner's process failed";
        if (held) {
            EXPECT_EQ(result, std::vector<bool>{false});
            ASSERT_EQ(prompt.boxes.size(), 1u) << boxList();
            EXPECT_EQ(prompt.last().text,
                      "'notes.txt' is owned by another user, who may still be writing it; it was not locked.");
            EXPECT_EQ(sandbox.readFile(path), "line 1\nline 2\n");
        } else {
            // Nobody writes it: the lease is taken, and root may lock it.
            EXPECT_EQ(result, std::vector<bool>{true}) << boxList();
            EXPECT_FALSE(sandbox.exists(path));
        }
    }
}
