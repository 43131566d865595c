#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/ShellOps.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

using namespace platform;

namespace {

class ShellOpsTest : public testing_support::SandboxTest {
protected:
    bool run(FileOp op, std::vector<std::string> sources, const std::string& destination, unsigned flags,
             Prompt* prompt = nullptr) {
        return shellFileOperation(op, sources, destination, flags, prompt);
    }
    std::string trash() const { return sandbox.root() + "/home/.local/share/Trash"; }
};

} // namespace

TEST_F(ShellOpsTest, CopyFilesAndFolders) {
    sandbox.writeFile("C:\\src\\a.txt", "A");
    sandbox.writeFile("C:\\src\\tree\\x\\deep.bin", "deep");
    sandbox.writeFile("C:\\src\\tree\\top.txt", "top");
    sandbox.makeFolder("C:\\dst");

    EXPECT_TRUE(run(FileOp::Copy, {"C:\\src\\a.txt"}, "C:\\dst", kFofSilent)); // into a folder
    EXPECT_EQ(sandbox.readFile("C:\\dst\\a.txt"), "A");
    EXPECT_TRUE(run(FileOp::Copy, {"C:\\src\\a.txt"}, "C:\\dst\\b.txt", kFofSilent)); // to a new name
    EXPECT_EQ(sandbox.readFile("C:\\dst\\b.txt"), "A");
    EXPECT_TRUE(run(FileOp::Copy, {"C:\\src\\tree"}, "C:\\dst", kFofSilent));
    EXPECT_EQ(sandbox.readFile("C:\\dst\\tree\\x\\deep.bin"), "deep");
    EXPECT_EQ(sandbox.readFile("C:\\dst\\tree\\top.txt"), "top");
    EXPECT_EQ(sandbox.readFile("C:\\src\\tree\\x\\deep.bin"), "deep"); // the source stays

    // Several sources into a folder that does not exist yet.
    EXPECT_TRUE(run(FileOp::Copy, {"C:\\src\\a.txt", "C:\\src\\tree\\top.txt"}, "C:\\multi", kFofSilent));
    EXPECT_EQ(sandbox.readFile("C:\\multi\\a.txt"), "A");
    EXPECT_EQ(sandbox.readFile("C:\\multi\\top.txt"), "top");
}

TEST_F(ShellOpsTest, ATakenTargetIsNeverOverwritten) {
    sandbox.writeFile("C:\\src\\a.txt", "new");
    sandbox.writeFile("C:\\dst\\a.txt", "old");
    EXPECT_FALSE(run(FileOp::Copy, {"C:\\src\\a.txt"}, "C:\\dst", kFofSilent | kFofNoConfirmation));
    EXPECT_FALSE(run(FileOp::Move, {"C:\\src\\a.txt"}, "C:\\dst\\a.txt", kFofSilent));
    EXPECT_FALSE(run(FileOp::Rename, {"C:\\src\\a.txt"}, "C:\\dst\\a.txt", kFofSilent));
    EXPECT_EQ(sandbox.readFile("C:\\dst\\a.txt"), "old");
    EXPECT_EQ(sandbox.readFile("C:\\src\\a.txt"), "new");
    // A folder cannot be copied or moved into itself.
    sandbox.writeFile("C:\\loop\\f", "f");
    EXPECT_FALSE(run(FileOp::Copy, {"C:\\loop"}, "C:\\loop", kFofSilent));
    EXPECT_FALSE(run(FileOp::Move, {"C:\\loop"}, "C:\\loop\\inner", kFofSilent));
    EXPECT_EQ(sandbox.readFile("C:\\loop\\f"), "f");
    // A missing source fails.
    EXPECT_FALSE(run(FileOp::Copy, {"C:\\src\\missing.txt"}, "C:\\dst", kFofSilent));
}

TEST_F(ShellOpsTest, RenameOnCollisionPicksAFreeName) {
    sandbox.writeFile("C:\\d\\a.txt", "A");
    EXPECT_TRUE(run(FileOp::Copy, {"C:\\d\\a.txt"}, "C:\\d", kFofRenameOnCollision));
    EXPECT_EQ(sandbox.readFile("C:\\d\\Copy of a.txt"), "A");
    EXPECT_TRUE(run(FileOp::Copy, {"C:\\d\\a.txt"}, "C:\\d\\a.txt", kFofRenameOnCollision));
    EXPECT_EQ(sandbox.readFile("C:\\d\\Copy (2) of a.txt"), "A");
    sandbox.writeFile("C:\\e\\a.txt", "other");
    EXPECT_TRUE(run(FileOp::Move, {"C:\\e\\a.txt"}, "C:\\d", kFofRenameOnCollision));
    EXPECT_EQ(sandbox.readFile("C:\\d\\Copy (3) of a.txt"), "other");
    EXPECT_EQ(sandbox.readFile("C:\\d\\a.txt"), "A");
    EXPECT_FALSE(sandbox.exists("C:\\e\\a.txt"));
}

TEST_F(ShellOpsTest, MoveAndRename) {
    sandbox.writeFile("C:\\m\\f.txt", "F");
    sandbox.writeFile("C:\\m\\dir\\inner.txt", "I");
    sandbox.makeFolder("C:\\to");
    EXPECT_TRUE(run(FileOp::Move, {"C:\\m\\f.txt", "C:\\m\\dir"}, "C:\\to", kFofSilent));
    EXPECT_EQ(sandbox.readFile("C:\\to\\f.txt"), "F");
    EXPECT_EQ(sandbox.readFile("C:\\to\\dir\\inner.txt"), "I");
    EXPECT_FALSE(sandbox.exists("C:\\m\\f.txt"));
    EXPECT_FALSE(sandbox.exists("C:\\m\\dir"));

    EXPECT_TRUE(run(FileOp::Rename, {"C:\\to\\f.txt"}, "C:\\to\\g.txt", kFofSilent));
    EXPECT_EQ(sandbox.readFile("C:\\to\\g.txt"), "F");
    EXPECT_TRUE(run(FileOp::Rename, {"C:\\to\\dir"}, "renamed dir", kFofSilent)); // a bare new name
    EXPECT_EQ(sandbox.readFile("C:\\to\\renamed dir\\inner.txt"), "I");
    EXPECT_FALSE(sandbox.exists("C:\\to\\dir"));
}

TEST_F(ShellOpsTest, MoveAcrossFilesystems) {
    char tmpl[] = "/dev/shm/tessaly-moveXXXXXX";
    if (!mkdtemp(tmpl))
        GTEST_SKIP() << "/dev/shm not writable";
    const std::string other = tmpl;
    sandbox.writeFile("C:\\x\\sub\\f.txt", "content");
    platform::Registry& reg = platform::registry();
    reg.setString(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "T", other);
    platform::reloadDrives();
    EXPECT_TRUE(run(FileOp::Move, {"C:\\x\\sub"}, "T:\\", kFofSilent));
    EXPECT_EQ(testing_support::readHostFile(other + "/sub/f.txt"), "content");
    EXPECT_FALSE(sandbox.exists("C:\\x\\sub"));
    std::filesystem::remove_all(other);
}

TEST_F(ShellOpsTest, DeleteForGoodIncludingReadOnly) {
    sandbox.writeFile("C:\\del\\ro\\locked.txt", "x");
    sandbox.writeFile("C:\\del\\f.txt", "x");
    ASSERT_EQ(chmod(sandbox.host("C:\\del\\ro\\locked.txt").c_str(), 0444), 0);
    ASSERT_EQ(chmod(sandbox.host("C:\\del\\ro").c_str(), 0555), 0);
    EXPECT_TRUE(run(FileOp::Delete, {"C:\\del\\f.txt", "C:\\del\\ro"}, "", kFofNoConfirmation | kFofSilent));
    EXPECT_FALSE(sandbox.exists("C:\\del\\f.txt"));
    EXPECT_FALSE(sandbox.exists("C:\\del\\ro"));
    EXPECT_FALSE(std::filesystem::exists(trash() + "/files/f.txt"));
    EXPECT_FALSE(run(FileOp::Delete, {"C:\\del\\f.txt"}, "", kFofNoConfirmation));
}

TEST_F(ShellOpsTest, DeleteWithUndoGoesToTheTrash) {
    sandbox.writeFile("C:\\t\\bin.txt", "keep me");
    sandbox.writeFile("C:\\t\\folder\\in.txt", "in");
    EXPECT_TRUE(run(FileOp::Delete, {"C:\\t\\bin.txt", "C:\\t\\folder"}, "", kFofAllowUndo | kFofNoConfirmation));
    EXPECT_FALSE(sandbox.exists("C:\\t\\bin.txt"));
    EXPECT_EQ(testing_support::readHostFile(trash() + "/files/bin.txt"), "keep me");
    EXPECT_TRUE(std::filesystem::exists(trash() + "/info/bin.txt.trashinfo"));
    EXPECT_EQ(testing_support::readHostFile(trash() + "/files/folder/in.txt"), "in");

    sandbox.writeFile("C:\\t\\one.txt", "1");
    EXPECT_TRUE(moveToTrash("C:\\t\\one.txt"));
    EXPECT_EQ(testing_support::readHostFile(trash() + "/files/one.txt"), "1");
    EXPECT_FALSE(moveToTrash("C:\\t\\one.txt"));
}

TEST_F(ShellOpsTest, DeleteAsksFirst) {
    sandbox.writeFile("C:\\ask\\report.doc", "r");
    testing_support::ScriptedPrompt prompt;
    prompt.answer(Answer::No);
    EXPECT_FALSE(run(FileOp::Delete, {"C:\\ask\\report.doc"}, "", 0, &prompt));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Are you sure you want to delete 'report.doc'?");
    EXPECT_EQ(prompt.last().title, "Confirm File Delete");
    EXPECT_EQ(prompt.last().buttons, Buttons::YesNo);
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_TRUE(sandbox.exists("C:\\ask\\report.doc"));

    prompt.answer(Answer::Yes);
    EXPECT_TRUE(run(FileOp::Delete, {"C:\\ask\\report.doc"}, "", 0, &prompt));
    EXPECT_FALSE(sandbox.exists("C:\\ask\\report.doc"));
    EXPECT_EQ(prompt.boxes.size(), 2u);

    sandbox.writeFile("C:\\ask\\quiet.doc", "q");
    EXPECT_TRUE(run(FileOp::Delete, {"C:\\ask\\quiet.doc"}, "", kFofNoConfirmation, &prompt));
    EXPECT_EQ(prompt.boxes.size(), 2u);
}

TEST_F(ShellOpsTest, AttributesTravelWithTheEntry) {
    sandbox.writeFile("C:\\s\\h.txt", "h");
    setAttributes("C:\\s\\h.txt", kAttrHidden | kAttrArchive);
    EXPECT_TRUE(run(FileOp::Copy, {"C:\\s\\h.txt"}, "C:\\c\\h.txt", kFofSilent));
    EXPECT_EQ(getAttributes("C:\\c\\h.txt"), kAttrHidden | kAttrArchive);
    EXPECT_EQ(sandbox.readFile("C:\\c\\.hidden"), "h.txt\n");

    // Renamed or moved: the old folder's list forgets the name, the new one learns it.
    EXPECT_TRUE(run(FileOp::Rename, {"C:\\s\\h.txt"}, "g.txt", kFofSilent));
    EXPECT_EQ(sandbox.readFile("C:\\s\\.hidden"), "g.txt\n");
    EXPECT_TRUE(run(FileOp::Move, {"C:\\s\\g.txt"}, "C:\\m\\g.txt", kFofSilent));
    EXPECT_FALSE(sandbox.exists("C:\\s\\.hidden"));
    EXPECT_EQ(sandbox.readFile("C:\\m\\.hidden"), "g.txt\n");
    EXPECT_EQ(getAttributes("C:\\m\\g.txt"), kAttrHidden | kAttrArchive);

    // Deleted: the name leaves the list, so a later file of that name is not hidden from view.
    EXPECT_TRUE(run(FileOp::Delete, {"C:\\m\\g.txt"}, "", kFofNoConfirmation));
    EXPECT_FALSE(sandbox.exists("C:\\m\\.hidden"));
}
