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
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

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
    if (::geteuid() != 0)
        GTEST_SKIP() << "a loop-mounted image needs root";
    const std::string image = sandbox.root() + "/disk.img";
    const std::string mountPoint = sandbox.host("C:\\Disk");
    fs::create_directories(mountPoint);
    {
        std::ofstream out(image, std::ios::binary);
        out.seekp((16 << 20) - 1);
        out.put('\0');
    }
    if (run("mkfs.ext4 -q -F '" + image + "' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "mkfs.ext4 is not available";
    // mount(8) sets up the loop device.
    if (run("mount -o loop '" + image + "' '" + mountPoint + "' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "this system cannot mount a loop image";
    struct Unmount {
        std::string at;
        bool active = true;
        ~Unmount() {
            if (active)
                ::umount2(at.c_str(), MNT_DETACH);
        }
    } unmount{mountPoint};
    // A content that cannot occur by chance, over several blocks.
    std::string secret;
    for (int i = 0; secret.size() < 300000; ++i)
        secret += "SECRET-CONTENT-" + std::to_string(i) + ";";
    sandbox.writeFile("C:\\Disk\\secret.txt", secret);
    ::sync();

    ShredEngine engine(0);
    EXPECT_TRUE(engine.shred(sandbox.host("C:\\Disk\\secret.txt")));
    ASSERT_EQ(::umount2(mountPoint.c_str(), 0), 0);
    unmount.active = false;
    const std::string raw = testing_support::readHostFile(image);
    EXPECT_EQ(raw.find("SECRET-CONTENT-"), std::string::npos);
}
