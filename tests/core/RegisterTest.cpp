#include "EngineFixture.h"
#include "platform/Environment.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

using core_tests::EngineTest;
using core_tests::lockedPath;

class RegisterTest : public EngineTest {};

TEST_F(RegisterTest, LivesInTheSystemFolderAndStartsAsOneEmptyLine) {
    EXPECT_EQ(reg, AddBackslash(GetSystemFolder()) + "systemtsl1.tcl");
    EXPECT_EQ(testing_support::readHostFile(platform::toHost(reg)), "\r\n");
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\a.txt", "C:\\n.gkt.TSL");
    core::EnsureRegister(reg); // an existing register is kept
    EXPECT_EQ(core::GetLockedTSLFiles(reg, prompt).size(), 1u);

    EXPECT_TRUE(core::GetLockedTSWFiles(reg, prompt).empty());
    EXPECT_TRUE(core::GetLockedFolders(reg, prompt).empty());
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(RegisterTest, EntriesAreTransformedPathsAndReadBackInFileOrder) {
    core::RecordLock(reg, core::RegisterKind::SmallFile, " C:\\Docs\\report.doc ", "C:\\Docs\\ercbeg.qbc.TSL");
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Docs\\b.txt", "C:\\Docs\\o.gkt.TSL");
    core::RecordLock(reg, core::RegisterKind::LargeFile, "C:\\Big\\film.avi", "C:\\Big\\svyz.nvi.TSW");
    core::RecordLock(reg, core::RegisterKind::Folder, "C:\\Private", "C:\\Cevingr.tsl");

    EXPECT_EQ(GetSettingText(reg, "LockedTSLFile", "P:\\Qbpf\\ercbeg.qbc"), "P:\\Qbpf\\report.dop.GFL");
    const auto tsl = core::GetLockedTSLFiles(reg, prompt);
    ASSERT_EQ(tsl.size(), 2u);
    EXPECT_EQ(tsl[0].text, "C:\\Docs\\report.doc");
    EXPECT_EQ(tsl[0].key, "C:\\Docs\\ercbeg.qbc.TSL");
    EXPECT_EQ(tsl[1].text, "C:\\Docs\\b.txt");
    const auto tsw = core::GetLockedTSWFiles(reg, prompt);
    ASSERT_EQ(tsw.size(), 1u);
    EXPECT_EQ(tsw[0].key, "C:\\Big\\svyz.nvi.TSW");
    const auto folders = core::GetLockedFolders(reg, prompt);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].text, "C:\\Private");
    EXPECT_EQ(folders[0].key, "C:\\Cevingr.tsl");
}

TEST_F(RegisterTest, ReadersSkipBlankEntriesAndSurviveABracketInAPath) {
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Photos [old]\\a.jpg", "C:\\Photos [old]\\n.wct.TSL");
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\z.txt", "C:\\m.gkt.TSL");
    // Hand-made lines: no "=", a blank key, a blank value.
    std::string text = testing_support::readHostFile(platform::toHost(reg));
    const auto at = text.find("[LockedTSLFile]\r\n") + 17;
    text.insert(at, "garbage line\r\n =P:\\k.TSL\r\nP:\\k= \r\n");
    sandbox.writeFile(reg, text);

    const auto items = core::GetLockedTSLFiles(reg, prompt);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "C:\\Photos [old]\\a.jpg");
    EXPECT_EQ(items[1].text, "C:\\z.txt");
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(RegisterTest, FileUnlockRemovesExactlyItsEntry) {
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Docs\\report.doc", "C:\\Docs\\ercbeg.qbc.TSL");
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Docs\\keep.doc", "C:\\Docs\\xrrc.qbc.TSL");
    core::RecordLock(reg, core::RegisterKind::LargeFile, "C:\\Docs\\report.doc", "C:\\Docs\\ercbeg.qbc.TSW");
    core::RemoveAfterFileUnlock(reg, core::RegisterKind::SmallFile, "C:\\Docs\\report.doc");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, "C:\\Docs\\report.doc"), "");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, "C:\\Docs\\keep.doc"), TransformName("C:\\Docs\\xrrc.qbc.TSL"));
    EXPECT_EQ(entry(core::RegisterKind::LargeFile, "C:\\Docs\\report.doc"), TransformName("C:\\Docs\\ercbeg.qbc.TSW"));
    core::RemoveAfterFileUnlock(reg, core::RegisterKind::SmallFile, "C:\\Docs\\absent.doc"); // nothing to do
    EXPECT_EQ(core::GetLockedTSLFiles(reg, prompt).size(), 1u);
}

TEST_F(RegisterTest, AFileLockedBeforeItsFolderIsRemovedThroughThePlainFolderName) {
    // Locked as C:\Work\a.txt and C:\work\b.txt, then the folders became C:\Jbek.TSL and
    // C:\jbek.TSL (the folder lock's names).
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Work\\a.txt", "C:\\Work\\n.gkt.TSL");
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\work\\b.txt", "C:\\work\\o.gkt.TSL");
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Other\\a.txt", "C:\\Other\\n.gkt.TSL");
    core::RemoveAfterFileUnlock(reg, core::RegisterKind::SmallFile, "C:\\Jbek.TSL\\a.txt");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, "C:\\Work\\a.txt"), "");
    core::RemoveAfterFileUnlock(reg, core::RegisterKind::SmallFile, "C:\\jbek.tsl\\b.txt");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, "C:\\work\\b.txt"), "");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, "C:\\Other\\a.txt"), TransformName("C:\\Other\\n.gkt.TSL"));

    // A folder name without the lock extension removes nothing.
    core::RemoveAfterFileUnlock(reg, core::RegisterKind::SmallFile, "C:\\Bgure\\a.txt");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, "C:\\Other\\a.txt"), TransformName("C:\\Other\\n.gkt.TSL"));
}

TEST_F(RegisterTest, FolderUnlockRemovesTheFolderEntry) {
    core::RecordLock(reg, core::RegisterKind::Folder, "C:\\Private ", "C:\\Cevingr.tsl");
    core::RecordLock(reg, core::RegisterKind::Folder, "C:\\Other", "C:\\Bgure.tsl");
    core::RemoveAfterFolderUnlock(reg, " C:\\Private");
    const auto folders = core::GetLockedFolders(reg, prompt);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].text, "C:\\Other");
}

TEST_F(RegisterTest, AMissingRegisterIsReportedWithoutABox) {
    // A register that cannot be read (other than in use) is reported, not shown.
    const std::string missing = "C:\\nowhere\\systemtsl1.tcl";
    EXPECT_TRUE(core::GetLockedTSLFiles(missing, prompt).empty());
    EXPECT_TRUE(core::GetLockedTSWFiles(missing, prompt).empty());
    EXPECT_TRUE(core::GetLockedFolders(missing, prompt).empty());
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(RegisterTest, EngineLocksAreListedAndTheirUnlocksRemoveThem) {
    const std::string path = sandbox.writeFile("C:\\Docs\\report.doc", "abc");
    ASSERT_TRUE(core::Encrypt(path, "pw", context()));
    const auto items = core::GetLockedTSLFiles(reg, prompt);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, path);
    EXPECT_EQ(items[0].key, lockedPath(path, ".TSL"));
    ASSERT_TRUE(core::Decrypt(items[0].key, "pw", context()));
    EXPECT_TRUE(core::GetLockedTSLFiles(reg, prompt).empty());
}

// A transaction's changes over several kinds land together, and the file reads exactly as the same
// changes made one by one leave it: the form on disk does not depend on how the changes came.
TEST_F(RegisterTest, ATransactionWritesWhatSingleChangesWouldInOneGo) {
    const std::string single = sandbox.writeFile("C:\\Windows\\System32\\single.tcl", "\r\n");
    core::RecordLock(single, core::RegisterKind::SmallFile, "C:\\a.txt", "C:\\n.gkg.TSL");
    core::RecordLock(single, core::RegisterKind::Folder, "C:\\Private", "C:\\Cevingr.TSL");
    core::RecordLock(single, core::RegisterKind::StrongFile, "C:\\s.txt", "C:\\q1w2.TSX");
    core::RecordLock(single, core::RegisterKind::SmallFile, "C:\\b.txt", "C:\\o.gkg.TSL");
    core::RemoveEntries(single, core::RegisterKind::SmallFile, {"C:\\a.txt"});

    core::LockRegister(reg).transact([](core::LockRegister::Transaction& t) {
        t.add(core::RegisterKind::SmallFile, "C:\\a.txt", "C:\\n.gkg.TSL");
        t.add(core::RegisterKind::Folder, "C:\\Private", "C:\\Cevingr.TSL");
        t.add(core::RegisterKind::StrongFile, "C:\\s.txt", "C:\\q1w2.TSX");
        t.add(core::RegisterKind::SmallFile, "C:\\b.txt", "C:\\o.gkg.TSL");
        t.remove(core::RegisterKind::SmallFile, "C:\\a.txt");
    });
    const std::string expected =
        "\r\n[LockedTSLFile]\r\nP:\\o.gkt=P:\\b.txt.GFL\r\n[LockedFolder]\r\nP:\\Cevinge=P:\\Private.GFL\r\n"
        "[LockedTSXFile]\r\nP:\\f.gkt=P:\\d1j2.GFX\r\n";
    EXPECT_EQ(testing_support::readHostFile(platform::toHost(single)), expected);
    EXPECT_EQ(testing_support::readHostFile(platform::toHost(reg)), expected);
}

TEST_F(RegisterTest, ATransactionThatFailsWritesNothing) {
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\keep.txt", "C:\\xrrc.gkg.TSL");
    const std::string before = testing_support::readHostFile(platform::toHost(reg));
    EXPECT_THROW(core::LockRegister(reg).transact([](core::LockRegister::Transaction& t) {
        t.remove(core::RegisterKind::SmallFile, "C:\\keep.txt");
        t.add(core::RegisterKind::Folder, "C:\\Private", "C:\\Cevingr.TSL");
        throw std::runtime_error("stopped half way");
    }),
                 std::runtime_error);
    EXPECT_EQ(testing_support::readHostFile(platform::toHost(reg)), before);
}

// The register's lock is held from the transaction's first read to its write: another process
// cannot take it meanwhile (it is asked without waiting, so the check cannot hang).
TEST_F(RegisterTest, ATransactionHoldsTheRegistersLockThroughout) {
    const std::string folder = platform::toHost(GetSystemFolder());
    const auto othersCanLock = [&] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0)
                ::_exit(2);
            ::_exit(::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : (errno == EWOULDBLOCK ? 1 : 3));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(othersCanLock(), 0);
    int inside = -1;
    core::LockRegister(reg).transact([&](core::LockRegister::Transaction& t) {
        EXPECT_TRUE(t.load(core::RegisterKind::Folder).empty());
        inside = othersCanLock();
        t.add(core::RegisterKind::Folder, "C:\\Private", "C:\\Cevingr.TSL");
    });
    EXPECT_EQ(inside, 1);
    EXPECT_EQ(othersCanLock(), 0);
    EXPECT_EQ(entry(core::RegisterKind::Folder, "C:\\Private"), TransformName("C:\\Cevingr.TSL"));
}

// A rename moves an entry to its new paths; the other kinds' entries of the same path stay.
TEST_F(RegisterTest, RenameMovesAnEntry) {
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Docs\\a.txt", "C:\\Docs\\n.gkg.TSL");
    core::RecordLock(reg, core::RegisterKind::LargeFile, "C:\\Docs\\a.txt", "C:\\Docs\\n.gkg.TSW");
    core::LockRegister(reg).rename(core::RegisterKind::SmallFile, "C:\\Docs\\a.txt", "C:\\Work\\a.txt",
                                   "C:\\Work\\n.gkg.TSL");
    const auto items = core::LockRegister(reg).load(core::RegisterKind::SmallFile);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "C:\\Work\\a.txt");
    EXPECT_EQ(items[0].key, "C:\\Work\\n.gkg.TSL");
    EXPECT_EQ(entry(core::RegisterKind::LargeFile, "C:\\Docs\\a.txt"), TransformName("C:\\Docs\\n.gkg.TSW"));
}
