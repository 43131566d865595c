#include "FakePort.h"
#include "LockingTestSupport.h"

#include "core/Register.h"
#include "locking/LockingCommands.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "settings/modGeneral.h"

#include <filesystem>

#include <QSignalSpy>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace locking_test;

namespace {

class LockingCommandsTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        ensureApp();
        port.registerFile = makeRegister();
        port.folder = "C:\\Docs";
        commands = std::make_unique<locking::LockingCommands>(port, nullptr);
        commands->setOwnExecutable("C:\\Program\\tessaly");
        commands->setOwnFolder("C:\\Program");
    }
    long count(const std::string& entry) const { return std::count(port.log.begin(), port.log.end(), entry); }

    FakePort port;
    std::unique_ptr<locking::LockingCommands> commands;
};

TEST_F(LockingCommandsTest, ToolbarDispatchesByKeyAndTheRunReportsToTheMainWindow) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    port.setRows({{"a.txt", "a.txt"}}, true);
    port.pw1 = port.pw2 = "p";
    commands->tbrLock_ButtonClick(QStringLiteral("Lock"));
    EXPECT_TRUE(port.scripted.boxes.empty()) << boxList(port.scripted);
    EXPECT_EQ(port.log, (std::vector<std::string>{"busy", "progress:Lock in Progress. Please Wait...", "refreshFiles",
                                                  "closeProgress", "status:1 file locked.", "clearPasswords",
                                                  "idle"}));
    const std::string locked = TransformName("a.txt") + ".TSL";
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + locked));

    port.log.clear();
    commands->tbrLock_ButtonClick(QStringLiteral("Nothing"));
    EXPECT_TRUE(port.log.empty());
    QSignalSpy mail(commands.get(), &locking::LockingCommands::sendEmailRequested);
    commands->tbrLock_ButtonClick(QStringLiteral("SendEmail"));
    EXPECT_EQ(mail.count(), 1);

    port.setRows({{locked, "a.txt"}}, false);
    commands->cmdSelectAll_click();
    EXPECT_EQ(port.checked, std::vector<bool>{true});
    port.pw1 = "p";
    port.log.clear();
    commands->mFileUnlockFile_click();
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "a");
    EXPECT_EQ(count("status:1 file unlocked."), 1);
    commands->cmdDeselectAll_click();
    EXPECT_EQ(port.checked, std::vector<bool>{false});
}

TEST_F(LockingCommandsTest, NoCommandThatChangesFilesStartsWhileOneRuns) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.makeFolder("C:\\Docs\\Old");
    port.setRows({{"a.txt", "a.txt"}}, true);
    port.treeFolder = {"C:\\Docs\\Old", "Old", "C:\\\\Docs\\Old"};
    port.selected = locking::FileItem{"a.txt", "a.txt"};
    port.pw1 = port.pw2 = "pw";
    bool busyDuringRun = false;
    port.onShowProgress = [&] {
        busyDuringRun = port.busy && commands->isBusy();
        commands->cmdLock_click();
        commands->cmdUnlock_click();
        commands->lvwFiles_DblClick();
        for (const char* key : {"Lock", "Unlock", "LockFolder", "UnlockFolder", "SafeVault"})
            commands->tbrLock_ButtonClick(QString::fromLatin1(key));
        commands->mLockFolder_click();
        commands->mLockFolderFiles_click();
        commands->mUnLockFolderFiles_click();
    };
    commands->cmdLock_click();
    EXPECT_TRUE(busyDuringRun);
    EXPECT_EQ(count("busy"), 1);
    EXPECT_EQ(count("progress:Lock in Progress. Please Wait..."), 1);
    EXPECT_TRUE(port.scripted.boxes.empty()) << boxList(port.scripted);
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
    EXPECT_FALSE(port.busy);
    EXPECT_FALSE(commands->isBusy());
}

TEST_F(LockingCommandsTest, FolderCommandsPointTheBrowserAtTheFoldersNewPath) {
    sandbox.makeFolder("C:\\Docs\\Old");
    port.treeFolder = {"C:\\Docs\\Old", "Old", "C:\\\\Docs\\Old"};
    port.pw1 = port.pw2 = "k";
    commands->tbrLock_ButtonClick(QStringLiteral("LockFolder"));
    const std::string locked = "C:\\Docs\\" + TransformName("Old") + ".TSL";
    EXPECT_EQ(port.log, (std::vector<std::string>{"busy", "folderPath:" + locked, "clearPasswords", "idle"}));
    EXPECT_TRUE(sandbox.exists(locked));

    port.log.clear();
    port.pw1 = port.pw2 = "k";
    commands->mFileUnLockFolder_click();
    EXPECT_EQ(port.log, (std::vector<std::string>{"busy", "folderPath:C:\\Docs\\Old", "clearPasswords", "idle"}));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
    EXPECT_EQ(port.scripted.texts(),
              (std::vector<std::string>{"Are you sure you want to lock 'C:\\Docs\\Old' folder ?",
                                        "Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"}));
}

TEST_F(LockingCommandsTest, DoubleClickOpensTheSelectedFileAndRebuildsTheList) {
    OpenerStub opener(sandbox);
    sandbox.writeFile("C:\\Docs\\plain.txt", "plain");
    port.selected = locking::FileItem{"plain.txt", "plain.txt"};
    commands->lvwFiles_DblClick();
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{sandbox.host("C:\\Docs\\plain.txt")});
    EXPECT_EQ(port.log, (std::vector<std::string>{"busy", "refreshFiles", "idle"}));
}

// A plain file inside a folder locked with a password does not open as it is: the double click
// unlocks the folder first (the password asked when the box is empty, then the usual question),
// and opens the file in the folder's own place. A cancel or a No leaves the folder locked.
TEST_F(LockingCommandsTest, DoubleClickInALockedFolderUnlocksTheFolderBeforeTheFileOpens) {
    OpenerStub opener(sandbox);
    sandbox.writeFile("C:\\Docs\\Old\\note.txt", "note");
    port.treeFolder = {"C:\\Docs\\Old", "Old", "C:\\\\Docs\\Old"};
    port.pw1 = port.pw2 = "k";
    commands->mLockFolder_click();
    const std::string locked = "C:\\Docs\\" + TransformName("Old") + ".TSL";
    ASSERT_TRUE(sandbox.exists(locked));
    port.folder = locked;
    port.selected = locking::FileItem{"note.txt", "note.txt"};
    port.scripted.boxes.clear();

    port.scripted.answer(platform::Answer::No);
    port.pw1 = "k";
    commands->lvwFiles_DblClick();
    EXPECT_TRUE(sandbox.exists(locked));
    EXPECT_EQ(port.scripted.texts(),
              std::vector<std::string>{"Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"});

    port.pw1.clear();
    port.pw2.clear();
    port.scripted.boxes.clear();
    port.scripted.answer(platform::Answer::Yes);
    std::vector<std::string> askedFor;
    commands->setPasswordAsker([&](const std::string& shown) {
        askedFor.push_back(shown);
        return std::optional<std::string>("k");
    });
    commands->lvwFiles_DblClick();
    EXPECT_EQ(askedFor, std::vector<std::string>{"C:\\Docs\\Old (locked)"});
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old\\note.txt"));
    EXPECT_FALSE(sandbox.exists(locked));
    EXPECT_EQ(port.treeFolder.key, "C:\\Docs\\Old");
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{sandbox.host("C:\\Docs\\Old\\note.txt")});
}

// With the Preferences' strong-lock choice, Lock makes ".TSX" files of every size (an empty one too)
// at the format's default key derivation; a double click unlocks one and opens it under the name it
// had. Without the choice, Lock makes the usual formats again.
TEST_F(LockingCommandsTest, TheStrongLockChoiceMakesTsxFilesThatADoubleClickOpens) {
    OpenerStub opener(sandbox);
    sandbox.writeFile("C:\\Docs\\a.txt", "some text");
    sandbox.writeFile("C:\\Docs\\empty.txt", "");
    SaveLong(HKEY_CURRENT_USER, settings::kAppKey, settings::StrongLocks.name, 1);
    port.setRows({{"a.txt", "a.txt"}, {"empty.txt", "empty.txt"}}, true);
    port.pw1 = port.pw2 = "strong pw";
    commands->cmdLock_click();
    EXPECT_TRUE(port.scripted.boxes.empty()) << boxList(port.scripted);
    std::vector<std::string> locked;
    for (const auto& e : std::filesystem::directory_iterator(sandbox.host("C:\\Docs")))
        if (e.path().extension() == ".TSX")
            locked.push_back(e.path().filename().string());
    ASSERT_EQ(locked.size(), 2u);
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\a.txt"));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\empty.txt"));
    EXPECT_EQ(core::RegisterEntries(port.registerFile, core::RegisterKind::StrongFile).size(), 2u);

    for (const std::string& name : locked) {
        port.selected = locking::FileItem{name, name};
        port.pw1 = "strong pw";
        port.scripted.answer(platform::Answer::Yes);
        commands->lvwFiles_DblClick();
    }
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "some text");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\empty.txt"), "");
    const std::vector<std::string> opened = opener.calls(2);
    EXPECT_EQ(std::set<std::string>(opened.begin(), opened.end()),
              (std::set<std::string>{sandbox.host("C:\\Docs\\a.txt"), sandbox.host("C:\\Docs\\empty.txt")}));

    SaveLong(HKEY_CURRENT_USER, settings::kAppKey, settings::StrongLocks.name, 0);
    port.setRows({{"a.txt", "a.txt"}}, true);
    port.pw1 = port.pw2 = "p";
    commands->cmdLock_click();
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + TransformName("a.txt") + ".TSL"));
}

} // namespace
