// What the shredder must never touch: content other names still show (hard links), other mounts
// inside a picked folder (bind mounts included), the program's own data reached by any name, and
// whatever a path leads to once it is swapped during the run. Also trees deeper than any stack, a
// cancel between files, and the raw disk blocks of a shredded file.

#include "shredder/ShredEngine.h"

#include "platform/Environment.h"
#include "shredder/ShredCommands.h"

#include "ShredderTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using shredder::Failure;
using shredder::ShredEngine;
using shredder_test::firstPass;
using shredder_test::RemovedContent;

namespace {

class ShredSafetyTest : public testing_support::SandboxTest {
protected:
    ~ShredSafetyTest() override { shredder::SetShredTestHooks({}); }
};

// Mounts and unmounts for the tests that need root; each test skips with a note without it.
class Mount final {
public:
    Mount(const std::string& source, const std::string& target, const char* type, unsigned long flags)
        : m_target(target) {
        m_ok = ::mount(source.c_str(), target.c_str(), type, flags, nullptr) == 0;
    }
    ~Mount() {
        if (m_ok)
            ::umount2(m_target.c_str(), MNT_DETACH);
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool ok() const { return m_ok; }

private:
    std::string m_target;
    bool m_ok = false;
};

bool has(const std::vector<Failure>& failures, const std::string& host, const char* reason) {
    for (const auto& f : failures)
        if (f.hostPath == host && f.reason == reason && f.sentence)
            return true;
    return false;
}

int run(const std::string& command) {
    return std::system(command.c_str());
}

// A small ext4 disk image mounted through a loop device for one test, unmounted when the test ends.
class LoopDisk final {
public:
    LoopDisk(const std::string& image, const std::string& mountPoint, int mebibytes)
        : m_image(image), m_mountPoint(mountPoint) {
        if (::geteuid() != 0) {
            m_why = "a loop-mounted image needs root";
            return;
        }
        fs::create_directories(mountPoint);
        {
            std::ofstream out(image, std::ios::binary);
            out.seekp((static_cast<std::streamoff>(mebibytes) << 20) - 1);
            out.put('\0');
        }
        if (run("mkfs.ext4 -q -F '" + image + "' >/dev/null 2>&1") != 0) {
            m_why = "mkfs.ext4 is not available";
            return;
        }
        // mount(8) sets up the loop device.
        if (run("mount -o loop '" + image + "' '" + mountPoint + "' >/dev/null 2>&1") != 0) {
            m_why = "this system cannot mount a loop image";
            return;
        }
        m_mounted = true;
    }
    ~LoopDisk() {
        if (m_mounted)
            ::umount2(m_mountPoint.c_str(), MNT_DETACH);
    }
    LoopDisk(const LoopDisk&) = delete;
    LoopDisk& operator=(const LoopDisk&) = delete;

    bool ok() const { return m_mounted; }
    const std::string& why() const { return m_why; }
    const std::string& mountPoint() const { return m_mountPoint; }
    bool unmount() {
        m_mounted = m_mounted && ::umount2(m_mountPoint.c_str(), 0) != 0;
        return !m_mounted;
    }
    // The image's bytes, as a program reading the raw disk would see them.
    std::string raw() const { return testing_support::readHostFile(m_image); }

private:
    std::string m_image;
    std::string m_mountPoint;
    std::string m_why;
    bool m_mounted = false;
};

} // namespace

TEST_F(ShredSafetyTest, AFileWithOtherNamesIsLeftWholeAndTheRestGoes) {
    // A backup made with hard links: shredding the backup must not destroy the live documents.
    sandbox.writeFile("C:\\Documents\\thesis.txt", "the thesis");
    sandbox.writeFile("C:\\Documents\\notes.txt", "notes");
    fs::create_directories(sandbox.host("C:\\Backup"));
    fs::create_hard_link(sandbox.host("C:\\Documents\\thesis.txt"), sandbox.host("C:\\Backup\\thesis.txt"));
    sandbox.writeFile("C:\\Backup\\only-here.txt", "only here");
    // A link to the program's own registry placed in the picked folder.
    fs::create_hard_link(platform::registryFileHost(), sandbox.host("C:\\Backup\\registry.sqlite3"));
    const std::string registryBefore = testing_support::readHostFile(platform::registryFileHost());
    // A folder of the backup without write permission stays, with its own permissions.
    fs::create_directories(sandbox.host("C:\\Backup\\Old"));
    fs::create_hard_link(sandbox.host("C:\\Documents\\notes.txt"), sandbox.host("C:\\Backup\\Old\\notes.txt"));
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec;
    fs::permissions(sandbox.host("C:\\Backup\\Old"), readOnly);

    RemovedContent removed;
    ShredEngine engine(0);
    EXPECT_FALSE(engine.shred(sandbox.host("C:\\Backup")));
    EXPECT_EQ(fs::status(sandbox.host("C:\\Backup\\Old")).permissions(), readOnly);
    EXPECT_EQ(sandbox.readFile("C:\\Documents\\notes.txt"), "notes");
    EXPECT_EQ(sandbox.readFile("C:\\Documents\\thesis.txt"), "the thesis");
    EXPECT_EQ(sandbox.readFile("C:\\Backup\\thesis.txt"), "the thesis");
    EXPECT_EQ(testing_support::readHostFile(platform::registryFileHost()), registryBefore);
    EXPECT_FALSE(sandbox.exists("C:\\Backup\\only-here.txt"));
    EXPECT_EQ(removed.of(sandbox.host("C:\\Backup\\only-here.txt")), firstPass(9));
    EXPECT_TRUE(has(engine.failures(), sandbox.host("C:\\Backup\\thesis.txt"), shredder::kHardLinksReason));
    // The registry's second name is refused one way or the other (protected, or other names).
    EXPECT_EQ(engine.failures().size(), 3u);

    // Picked on its own, the file is refused the same way, and the message says why.
    ShredEngine single(0);
    EXPECT_FALSE(single.shred(sandbox.host("C:\\Documents\\thesis.txt")));
    EXPECT_EQ(sandbox.readFile("C:\\Documents\\thesis.txt"), "the thesis");
    EXPECT_EQ(shredder::FailureMessage(single.failures()),
              "These items could not be shredded:\r\n\r\n'C:\\Documents\\thesis.txt' has other names on this disk "
              "(hard links); it was not shredded, so that their content stays.");
}

TEST_F(ShredSafetyTest, AFileThatGainsANameWhileItIsShreddedIsNamedAsStillThere) {
    // Picked alone, and inside a picked folder; the name is made just before the file's own goes.
    const struct {
        const char* picked;
        const char* file;
    } cases[] = {{"C:\\Gain\\file.txt", "C:\\Gain\\file.txt"}, {"C:\\GainTree", "C:\\GainTree\\in.txt"}};
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picked);
        sandbox.writeFile(c.file, std::string(500, 's'));
        const std::string kept = sandbox.host("C:\\kept" + std::to_string(++round) + ".txt");
        shredder::SetShredTestHooks({nullptr, [&](int dirFd, const std::string& name, const std::string&) {
                                         ASSERT_EQ(::linkat(dirFd, name.c_str(), AT_FDCWD, kept.c_str(), 0), 0);
                                     }});
        ShredEngine engine(0);
        EXPECT_FALSE(engine.shred(sandbox.host(c.picked)));
        EXPECT_TRUE(has(engine.failures(), sandbox.host(c.file), shredder::kLinkGainedReason))
            << shredder::FailureMessage(engine.failures());
        EXPECT_FALSE(sandbox.exists(c.file));
        // What the other name shows was overwritten all the same.
        EXPECT_EQ(testing_support::readHostFile(kept), firstPass(500));
    }
}

TEST_F(ShredSafetyTest, TheProgramsOwnFoldersAreRefusedByIdentityWhateverTheName) {
    // Named through a link, the engine still sees what it opened.
    fs::create_directory_symlink(fs::path(platform::registryFileHost()).parent_path(), sandbox.host("C:\\data"));
    const std::string registryBefore = testing_support::readHostFile(platform::registryFileHost());
    const std::string dataFolder = fs::path(platform::registryFileHost()).parent_path().string();
    const std::string cases[] = {
        dataFolder,                                  // the data folder
        fs::path(dataFolder).parent_path().string(), // a folder holding it
        platform::registryFileHost(),                // a store in it
        sandbox.root(),                              // the drive root
    };
    for (const auto& host : cases) {
        SCOPED_TRACE(host);
        ShredEngine engine(0);
        EXPECT_FALSE(engine.shred(host));
        ASSERT_EQ(engine.failures().size(), 1u);
        EXPECT_EQ(engine.failures()[0].reason, shredder::kProtectedReason);
    }
    EXPECT_EQ(testing_support::readHostFile(platform::registryFileHost()), registryBefore);
}

TEST_F(ShredSafetyTest, AParentSwappedForALinkAfterTheCheckChangesNothingOfWhatItLeadsTo) {
    // The run opened "Work/Junk"; between the check and the first write the folder "Work" is swapped
    // (one atomic exchange) for a link to "Precious", which has a "Junk" of its own.
    sandbox.writeFile("C:\\Work\\Junk\\old.txt", std::string(50, 'o'));
    sandbox.writeFile("C:\\Precious\\Junk\\keep.txt", "precious");
    fs::create_directory_symlink(sandbox.host("C:\\Precious"), sandbox.host("C:\\Swap"));
    bool swapped = false;
    shredder::SetShredTestHooks({[&](const std::string&) {
                                     swapped = ::renameat2(AT_FDCWD, sandbox.host("C:\\Work").c_str(), AT_FDCWD,
                                                           sandbox.host("C:\\Swap").c_str(), RENAME_EXCHANGE) == 0;
                                 },
                                 nullptr});

    ShredEngine engine(0);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Work\\Junk")));
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(fs::is_symlink(sandbox.host("C:\\Work")));
    EXPECT_EQ(sandbox.readFile("C:\\Precious\\Junk\\keep.txt"), "precious");
    EXPECT_FALSE(fs::exists(sandbox.host("C:\\Swap\\Junk"))); // the folder that was checked went

    // A link already in the path when the run opens it is refused, never followed.
    sandbox.writeFile("C:\\Precious\\Junk\\keep2.txt", "precious too");
    ShredEngine again(0);
    EXPECT_FALSE(again.shred(sandbox.host("C:\\Work\\Junk\\keep2.txt")));
    EXPECT_TRUE(has(again.failures(), sandbox.host("C:\\Work\\Junk\\keep2.txt"), shredder::kLinkInPathReason));
    EXPECT_EQ(sandbox.readFile("C:\\Precious\\Junk\\keep2.txt"), "precious too");
}

TEST_F(ShredSafetyTest, ATreeDeeperThanAnyStackIsShreddedWithFewDescriptors) {
    // 20 000 levels: far deeper than a path may be long, or a recursion could go.
    constexpr int kDepth = 20000;
    sandbox.makeFolder("C:\\Deep");
    int fd = ::open(sandbox.host("C:\\Deep").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0700), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    const int file = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "bottom", 6), 6);
    ::close(file);
    ::close(fd);

    ShredEngine engine(0);
    EXPECT_EQ(engine.bytesToWrite(sandbox.host("C:\\Deep")), 440u);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Deep")));
    EXPECT_TRUE(engine.failures().empty());
    EXPECT_FALSE(sandbox.exists("C:\\Deep"));
    EXPECT_EQ(engine.written(), 440u);
}

TEST_F(ShredSafetyTest, ACancelStopsBetweenFilesAndLeavesTheRestWhole) {
    for (const char* name : {"a", "b", "c", "d"})
        sandbox.writeFile(std::string("C:\\Many\\") + name + ".txt", std::string(1000, *name));
    ShredEngine engine(0);
    int removedCount = 0;
    shredder::SetShredTestHooks({nullptr, [&](int, const std::string&, const std::string&) {
                                     if (++removedCount == 1)
                                         engine.cancel();
                                 }});
    EXPECT_FALSE(engine.shred(sandbox.host("C:\\Many")));
    EXPECT_TRUE(engine.failures().empty());
    EXPECT_EQ(removedCount, 1);
    int whole = 0;
    for (const auto& e : fs::directory_iterator(sandbox.host("C:\\Many"))) {
        const std::string name = e.path().stem().string();
        EXPECT_EQ(testing_support::readHostFile(e.path().string()), std::string(1000, name[0]));
        ++whole;
    }
    EXPECT_EQ(whole, 3);
}

TEST_F(ShredSafetyTest, AMountInsideAPickedFolderIsLeftAlone) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "bind mounts need root";
    sandbox.writeFile("C:\\Outside\\keep.txt", "outside");
    sandbox.writeFile("C:\\Picked\\a.txt", "a");
    sandbox.makeFolder("C:\\Picked\\Bound");
    sandbox.writeFile("C:\\Picked\\boundfile.txt", "placeholder");
    sandbox.writeFile("C:\\Outside\\file.txt", "outside file");
    Mount folder(sandbox.host("C:\\Outside"), sandbox.host("C:\\Picked\\Bound"), nullptr, MS_BIND);
    Mount file(sandbox.host("C:\\Outside\\file.txt"), sandbox.host("C:\\Picked\\boundfile.txt"), nullptr, MS_BIND);
    if (!folder.ok() || !file.ok())
        GTEST_SKIP() << "this system refuses bind mounts here";

    ShredEngine engine(0);
    EXPECT_FALSE(engine.shred(sandbox.host("C:\\Picked")));
    EXPECT_FALSE(sandbox.exists("C:\\Picked\\a.txt"));
    EXPECT_TRUE(has(engine.failures(), sandbox.host("C:\\Picked\\Bound"), shredder::kMountReason));
    EXPECT_TRUE(has(engine.failures(), sandbox.host("C:\\Picked\\boundfile.txt"), shredder::kMountReason));
    EXPECT_EQ(engine.failures().size(), 2u);
    EXPECT_EQ(sandbox.readFile("C:\\Outside\\keep.txt"), "outside");
    EXPECT_EQ(sandbox.readFile("C:\\Outside\\file.txt"), "outside file");

    // The mount point itself, picked, is refused too.
    ShredEngine direct(0);
    EXPECT_FALSE(direct.shred(sandbox.host("C:\\Picked\\Bound")));
    EXPECT_EQ(sandbox.readFile("C:\\Outside\\keep.txt"), "outside");
}

TEST_F(ShredSafetyTest, EveryBlockOfAShreddedFileIsOverwrittenOnTheDisk) {
    LoopDisk disk(sandbox.root() + "/disk.img", sandbox.host("C:\\Disk"), 16);
    if (!disk.ok())
        GTEST_SKIP() << disk.why();
    // A content that cannot occur by chance, over several blocks.
    std::string secret;
    for (int i = 0; secret.size() < 300000; ++i)
        secret += "SECRET-CONTENT-" + std::to_string(i) + ";";
    sandbox.writeFile("C:\\Disk\\secret.txt", secret);
    ::sync();

    ShredEngine engine(0);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Disk\\secret.txt")));
    ASSERT_TRUE(disk.unmount());
    EXPECT_EQ(disk.raw().find("SECRET-CONTENT-"), std::string::npos);
}

TEST_F(ShredSafetyTest, ASparseFileHasItsDataOverwrittenAndItsHolesLeftAsHoles) {
    // 9 GiB as the system counts it, a few data extents of 64 KiB on a 32 MiB disk: writing its holes
    // would fill the disk long before the end, and leave its data where it was.
    LoopDisk disk(sandbox.root() + "/disk.img", sandbox.host("C:\\Disk"), 32);
    if (!disk.ok())
        GTEST_SKIP() << disk.why();
    const std::string host = sandbox.host("C:\\Disk\\sparse.bin");
    constexpr std::uint64_t kApparent = 9ull << 30;
    constexpr std::size_t kExtent = 64 << 10;
    const std::uint64_t offsets[] = {0, 1ull << 30, 5ull << 30, kApparent - kExtent};
    {
        const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        for (std::uint64_t at : offsets) {
            std::string marker;
            while (marker.size() < kExtent)
                marker += "SPARSE-MARKER-" + std::to_string(at) + ";";
            marker.resize(kExtent);
            ASSERT_EQ(::pwrite(fd, marker.data(), marker.size(), static_cast<off_t>(at)),
                      static_cast<ssize_t>(marker.size()));
        }
        ASSERT_EQ(::fsync(fd), 0);
        ::close(fd);
    }
    ASSERT_EQ(fs::file_size(host), kApparent);
    ::sync();
    struct statvfs before {};
    ASSERT_EQ(::statvfs(disk.mountPoint().c_str(), &before), 0);

    ShredEngine engine(0);
    // Progress counts the data the file holds, not its apparent size.
    const std::uint64_t expected = std::size(offsets) * kExtent;
    EXPECT_EQ(engine.bytesToWrite(host), expected);
    // When every pass is done, the disk is as free as it was: no hole was filled.
    fsblkcnt_t freeAtTheEnd = 0;
    shredder::SetShredTestHooks({nullptr, [&](int, const std::string&, const std::string&) {
                                     struct statvfs now {};
                                     if (::statvfs(disk.mountPoint().c_str(), &now) == 0)
                                         freeAtTheEnd = now.f_bfree;
                                 }});
    EXPECT_TRUE(engine.shred(host));
    EXPECT_TRUE(engine.failures().empty());
    EXPECT_EQ(engine.written(), expected);
    EXPECT_GE(freeAtTheEnd, before.f_bfree);
    EXPECT_FALSE(fs::exists(host));
    ASSERT_TRUE(disk.unmount());
    EXPECT_EQ(disk.raw().find("SPARSE-MARKER-"), std::string::npos);
}

TEST_F(ShredSafetyTest, AnItemWhosePathLeadsElsewhereWhenItIsReachedIsLeftAlone) {
    // Items are pinned when the run begins; by the time one is reached its folder was moved away and
    // something else put in its place: a link to another folder, or another folder.
    const struct {
        const char* what;
        bool link;
        const char* reason;
    } cases[] = {{"a link", true, shredder::kLinkInPathReason}, {"another folder", false, shredder::kMovedReason}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox.writeFile("C:\\Work\\item.txt", "pinned");
        sandbox.writeFile("C:\\Other\\item.txt", "elsewhere");
        const std::string item = sandbox.host("C:\\Work\\item.txt");
        ShredEngine engine(0);
        const ShredEngine::Pin pinned = engine.pin(item);
        ASSERT_TRUE(pinned);
        fs::rename(sandbox.host("C:\\Work"), sandbox.host("C:\\Moved"));
        if (c.link)
            fs::create_directory_symlink(sandbox.host("C:\\Other"), sandbox.host("C:\\Work"));
        else
            fs::rename(sandbox.host("C:\\Other"), sandbox.host("C:\\Work"));

        EXPECT_FALSE(engine.shred(pinned));
        EXPECT_TRUE(has(engine.failures(), item, c.reason));
        EXPECT_EQ(engine.failures().size(), 1u);
        EXPECT_EQ(sandbox.readFile("C:\\Moved\\item.txt"), "pinned");
        EXPECT_EQ(testing_support::readHostFile(item), "elsewhere");
        fs::remove_all(sandbox.host("C:\\Moved"));
        fs::remove_all(sandbox.host("C:\\Work"));
        fs::remove_all(sandbox.host("C:\\Other"));
    }
}
