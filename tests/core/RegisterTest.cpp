#include "EngineFixture.h"
#include "platform/Environment.h"

#include <gtest/gtest.h>

using core_tests::EngineTest;
using core_tests::lockedPath;

class RegisterTest : public EngineTest {};

TEST_F(RegisterTest, LivesInTheSystemFolderAndStartsAsOneEmptyLine) {
    EXPECT_EQ(reg, AddBackslash(GetSystemFolder()) + "systemtsl1.tcl");
    EXPECT_EQ(testing_support::readHostFile(platform::toHost(reg)), "\r\n");
    core::RecordLock(reg, settings::kSectionTSL, "C:\\a.txt", "C:\\n.gkt.TSL");
    core::EnsureRegister(reg); // an existing register is kept
    EXPECT_EQ(core::GetLockedTSLFiles(reg, prompt).size(), 1u);

    EXPECT_TRUE(core::GetLockedTSWFiles(reg, prompt).empty());
    EXPECT_TRUE(core::GetLockedFolders(reg, prompt).empty());
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(RegisterTest, EntriesAreTransformedPathsAndReadBackInFileOrder) {
    core::RecordLock(reg, settings::kSectionTSL, " C:\\Docs\\report.doc ", "C:\\Docs\\ercbeg.qbc.TSL");
    core::RecordLock(reg, settings::kSectionTSL, "C:\\Docs\\b.txt", "C:\\Docs\\o.gkt.TSL");
    core::RecordLock(reg, settings::kSectionTSW, "C:\\Big\\film.avi", "C:\\Big\\svyz.nvi.TSW");
    core::RecordLock(reg, settings::kSectionFolder, "C:\\Private", "C:\\Cevingr.tsl");

    EXPECT_EQ(GetSettingText(reg, settings::kSectionTSL, "P:\\Qbpf\\ercbeg.qbc"), "P:\\Qbpf\\report.dop.GFL");
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
    core::RecordLock(reg, settings::kSectionTSL, "C:\\Photos [old]\\a.jpg", "C:\\Photos [old]\\n.wct.TSL");
    core::RecordLock(reg, settings::kSectionTSL, "C:\\z.txt", "C:\\m.gkt.TSL");
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
    core::RecordLock(reg, settings::kSectionTSL, "C:\\Docs\\report.doc", "C:\\Docs\\ercbeg.qbc.TSL");
    core::RecordLock(reg, settings::kSectionTSL, "C:\\Docs\\keep.doc", "C:\\Docs\\xrrc.qbc.TSL");
    core::RecordLock(reg, settings::kSectionTSW, "C:\\Docs\\report.doc", "C:\\Docs\\ercbeg.qbc.TSW");
    core::RemoveAfterFileUnlock(reg, settings::kSectionTSL, "C:\\Docs\\report.doc");
    EXPECT_EQ(entry(settings::kSectionTSL, "C:\\Docs\\report.doc"), "");
    EXPECT_EQ(entry(settings::kSectionTSL, "C:\\Docs\\keep.doc"), TransformName("C:\\Docs\\xrrc.qbc.TSL"));
    EXPECT_EQ(entry(settings::kSectionTSW, "C:\\Docs\\report.doc"), TransformName("C:\\Docs\\ercbeg.qbc.TSW"));
    core::RemoveAfterFileUnlock(reg, settings::kSectionTSL, "C:\\Docs\\absent.doc"); // nothing to do
    EXPECT_EQ(core::GetLockedTSLFiles(reg, prompt).size(), 1u);
}

TEST_F(RegisterTest, AFileLockedBeforeItsFolderIsRemovedThroughThePlainFolderName) {
    // Locked as C:\Work\a.txt and C:\work\b.txt, then the folders became C:\Jbek.TSL and
    // C:\jbek.TSL (the folder lock's names).
    core::RecordLock(reg, settings::kSectionTSL, "C:\\Work\\a.txt", "C:\\Work\\n.gkt.TSL");
    core::RecordLock(reg, settings::kSectionTSL, "C:\\work\\b.txt", "C:\\work\\o.gkt.TSL");
    core::RecordLock(reg, settings::kSectionTSL, "C:\\Other\\a.txt", "C:\\Other\\n.gkt.TSL");
    core::RemoveAfterFileUnlock(reg, settings::kSectionTSL, "C:\\Jbek.TSL\\a.txt");
    EXPECT_EQ(entry(settings::kSectionTSL, "C:\\Work\\a.txt"), "");
    core::RemoveAfterFileUnlock(reg, settings::kSectionTSL, "C:\\jbek.tsl\\b.txt");
    EXPECT_EQ(entry(settings::kSectionTSL, "C:\\work\\b.txt"), "");
    EXPECT_EQ(entry(settings::kSectionTSL, "C:\\Other\\a.txt"), TransformName("C:\\Other\\n.gkt.TSL"));

    // A folder name without the lock extension removes nothing.
    core::RemoveAfterFileUnlock(reg, settings::kSectionTSL, "C:\\Bgure\\a.txt");
    EXPECT_EQ(entry(settings::kSectionTSL, "C:\\Other\\a.txt"), TransformName("C:\\Other\\n.gkt.TSL"));
}

TEST_F(RegisterTest, FolderUnlockRemovesTheFolderEntry) {
    core::RecordLock(reg, settings::kSectionFolder, "C:\\Private ", "C:\\Cevingr.tsl");
    core::RecordLock(reg, settings::kSectionFolder, "C:\\Other", "C:\\Bgure.tsl");
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
