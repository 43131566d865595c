#include "FakePort.h"
#include "LockingTestSupport.h"

#include "core/LockEngine.h"
#include "core/Register.h"
#include "locking/FileCommands.h"
#include "locking/FolderCommands.h"
#include "locking/VaultListModel.h"
#include "locking/frmSecurityVault.h"
#include "platform/Attributes.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <QAccessible>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

using platform::Answer;
using platform::Icon;
using namespace locking_test;

namespace {

class VaultTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        ensureApp();
        port.registerFile = makeRegister();
        vault = std::make_unique<locking::frmSecurityVault>(port.scripted, port.registerFile, &port);
    }
    void TearDown() override { vault.reset(); }

    template <typename T> T* child(const char* name) {
        T* w = vault->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTreeView* files() { return child<QTreeView>("lvwFiles"); }
    QTreeView* folders() { return child<QTreeView>("lvwFolders"); }
    // Row i of a list, read and ticked through the list's model.
    static QModelIndex indexOf(QTreeView* list, int i) { return list->model()->index(i, 0); }
    static int count(QTreeView* list) { return list->model()->rowCount(); }
    static QString text(QTreeView* list, int i) { return indexOf(list, i).data(Qt::DisplayRole).toString(); }
    static QString toolTip(QTreeView* list, int i) { return indexOf(list, i).data(Qt::ToolTipRole).toString(); }
    static Qt::CheckState checkState(QTreeView* list, int i) {
        return static_cast<Qt::CheckState>(indexOf(list, i).data(Qt::CheckStateRole).toInt());
    }
    static void setCheckState(QTreeView* list, int i, Qt::CheckState state) {
        list->model()->setData(indexOf(list, i), state, Qt::CheckStateRole);
    }
    std::string key(QTreeView* list, int i) { return indexOf(list, i).data(Qt::UserRole).toByteArray().toStdString(); }

    void lockFile(const std::string& folder, const std::string& name, const std::string& password) {
        locking::FileBatch b;
        b.folder = folder;
        b.checked = {{name, name}};
        b.password = b.confirmation = password;
        b.registerPath = port.registerFile;
        testing_support::ScriptedPrompt p;
        ASSERT_EQ(locking::LockFiles(b, p).end, locking::RunEnd::Completed);
        ASSERT_TRUE(p.boxes.empty()) << boxList(p);
    }
    // Locks C:\Docs\<name> with Lock Folder (a password) or Lock Folder and Files (none).
    std::string lockFolder(const std::string& name, const std::string& password, bool withFiles = false) {
        const std::string key = sandbox.makeFolder("C:\\Docs\\" + name);
        locking::FolderRequest r;
        r.folder = {key, name, locking::FolderPasswordValueName(key)};
        r.password = r.confirmation = password;
        r.registerPath = port.registerFile;
        testing_support::ScriptedPrompt p;
        const auto result = withFiles ? locking::LockFolderAndFiles(r, p) : locking::LockFolder(r, p);
        EXPECT_TRUE(result.moved) << boxList(p);
        return result.newPath;
    }
    void checkAll(QTreeView* list) {
        for (int i = 0; i < count(list); ++i)
            setCheckState(list, i, Qt::Checked);
    }
    void typePassword(const char* text) {
        auto* box = child<QLineEdit>("txtPassword1");
        box->clear();
        QTest::keyClicks(box, QString::fromLatin1(text));
    }

    FakePort port;
    std::unique_ptr<locking::frmSecurityVault> vault;
};

TEST_F(VaultTest, ControlsAndCaptions) {
    EXPECT_EQ(vault->objectName(), QStringLiteral("frmSecurityVault"));
    EXPECT_EQ(vault->windowTitle(), QStringLiteral("Tessaly -Security Vault"));
    EXPECT_EQ(child<QGroupBox>("fraFolders")->title(), QStringLiteral("Locked Folders"));
    EXPECT_EQ(child<QGroupBox>("fraFiles")->title(), QStringLiteral("Locked Files"));
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"cmdUnlockFolder", "Unlock Folder"}, {"cmdSelectAll", "Select All"}, {"cmdDeselectAll", "Deselect All"},
        {"cmdUnlockFiles", "Unlock"},         {"cmdRefresh", "Refresh"},      {"cmdCancel", "Cancel"}};
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(child<QPushButton>(name)->text(), QString::fromLatin1(caption)) << name;
    EXPECT_EQ(child<QLineEdit>("txtPassword1")->echoMode(), QLineEdit::Password);
    EXPECT_NE(child<QLabel>("lblStatus"), nullptr);
    EXPECT_EQ(vault->findChild<QLabel*>(QStringLiteral("lblPassword"))->text(), QStringLiteral("Password:"));
}

TEST_F(VaultTest, ShowingTheWindowFillsTheListsFromTheRegister) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\big.bin", content(210000));
    lockFile("C:\\Docs", "a.txt", "pw");
    lockFile("C:\\Docs", "big.bin", "pw");
    const std::string lockedFolder = lockFolder("Old", "pw");

    vault->show();
    for (int i = 0; i < 100 && count(files()) == 0; ++i)
        QTest::qWait(20);
    ASSERT_EQ(count(files()), 2);
    EXPECT_EQ(text(files(), 0), QStringLiteral("C:\\Docs\\a.txt"));
    EXPECT_EQ(toolTip(files(), 0), QStringLiteral("C:\\Docs\\a.txt"));
    EXPECT_EQ(key(files(), 0), "C:\\Docs\\" + TransformName("a.txt") + ".TSL");
    EXPECT_EQ(key(files(), 1), "C:\\Docs\\" + TransformName("big.bin") + ".TSW");
    EXPECT_EQ(checkState(files(), 1), Qt::Unchecked);
    ASSERT_EQ(count(folders()), 1);
    EXPECT_EQ(text(folders(), 0), QStringLiteral("C:\\Docs\\Old"));
    EXPECT_EQ(key(folders(), 0), lockedFolder);
    // Refresh also points the main window's browser at C:\ and rebuilds its list, once.
    EXPECT_EQ(port.log, (std::vector<std::string>{"rereadFolderTree", "refreshFiles"}));

    child<QPushButton>("cmdSelectAll")->click();
    EXPECT_EQ(checkState(files(), 1), Qt::Checked);
    child<QPushButton>("cmdDeselectAll")->click();
    EXPECT_EQ(checkState(files(), 0), Qt::Unchecked);
}

TEST_F(VaultTest, NoRefreshWhileACommandOfTheMainWindowRuns) {
    // Refresh points the main window's browser elsewhere: never under a running command.
    vault->setCommandsEnabled(false);
    vault->show();
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(vault.get(), &activate);
    QTest::qWait(50);
    EXPECT_TRUE(port.log.empty());
    vault->setCommandsEnabled(true);
    EXPECT_EQ(port.log, (std::vector<std::string>{"rereadFolderTree", "refreshFiles"}));
}

TEST_F(VaultTest, UnlockFolderWithTheRightPasswordAndWithNothingChecked) {
    lockFolder("Old", "pw");
    vault->Refresh();
    // Nothing checked: no success is claimed for nothing.
    child<QPushButton>("cmdUnlockFolder")->click();
    EXPECT_EQ(port.scripted.texts(), std::vector<std::string>{"No folder is checked"});
    EXPECT_EQ(port.scripted.last().icon, Icon::Exclamation);

    port.scripted.boxes.clear();
    checkAll(folders());
    typePassword("pw");
    child<QPushButton>("cmdUnlockFolder")->click();
    // Success is told in the status line; only the question was a box.
    EXPECT_EQ(port.scripted.texts(),
              (std::vector<std::string>{"Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"}));
    EXPECT_EQ(port.scripted.boxes[0].title, "Unlock Confirmation");
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
    EXPECT_EQ(platform::getAttributes("C:\\Docs\\Old") & ~platform::kAttrDirectory, 0u);
    EXPECT_EQ(count(folders()), 0);
    EXPECT_EQ(child<QLabel>("lblStatus")->text(), QStringLiteral("All selected folders have been unlocked"));
    EXPECT_TRUE(child<QPushButton>("cmdCancel")->isEnabled());
}

TEST_F(VaultTest, WithNothingTickedTheHighlightedRowIsTaken) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    lockFile("C:\\Docs", "a.txt", "pw");
    lockFolder("Old", "pw");
    vault->Refresh();
    typePassword("pw");
    files()->setCurrentIndex(files()->model()->index(0, 0));
    child<QPushButton>("cmdUnlockFiles")->click();
    EXPECT_TRUE(port.scripted.boxes.empty()) << port.scripted.last().text;
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "a");
    EXPECT_EQ(child<QLabel>("lblStatus")->text(), QStringLiteral("1 file unlocked."));

    typePassword("pw");
    folders()->setCurrentIndex(folders()->model()->index(0, 0));
    child<QPushButton>("cmdUnlockFolder")->click();
    EXPECT_EQ(port.scripted.texts(),
              (std::vector<std::string>{"Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"}));
    EXPECT_EQ(child<QLabel>("lblStatus")->text(), QStringLiteral("All selected folders have been unlocked"));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
}

// Linux names need not be UTF-8: a name in Latin-1 ("café") is found and unlocked by its exact bytes.
TEST_F(VaultTest, NamesThatAreNotUtf8AreUnlockedByTheirExactBytes) {
    const std::string name = "caf\xe9";
    sandbox.writeFile("C:\\Docs\\" + name + ".txt", "latin");
    lockFile("C:\\Docs", name + ".txt", "pw");
    lockFolder(name, "pw");
    vault->Refresh();
    ASSERT_EQ(count(files()), 1);
    ASSERT_EQ(count(folders()), 1);
    EXPECT_EQ(key(folders(), 0), "C:\\Docs\\" + TransformName(name) + ".TSL");

    checkAll(files());
    typePassword("pw");
    child<QPushButton>("cmdUnlockFiles")->click();
    EXPECT_TRUE(port.scripted.boxes.empty()) << port.scripted.last().text;
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\" + name + ".txt"), "latin");

    checkAll(folders());
    typePassword("pw");
    child<QPushButton>("cmdUnlockFolder")->click();
    EXPECT_EQ(port.scripted.texts(),
              (std::vector<std::string>{"Are you sure you want to unlock 'C:\\Docs\\" + name + "' folder ?"}));
    EXPECT_EQ(child<QLabel>("lblStatus")->text(), QStringLiteral("All selected folders have been unlocked"));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + name));
    EXPECT_EQ(count(folders()), 0);
}

TEST_F(VaultTest, AWrongPasswordEmptiesTheBoxForTheFoldersThatFollow) {
    const std::string first = lockFolder("First", "pw");
    lockFolder("Second", "files pw", true); // Lock Folder and Files: no stored password
    vault->Refresh();
    ASSERT_EQ(count(folders()), 2);
    checkAll(folders());
    typePassword("bad");
    child<QPushButton>("cmdUnlockFolder")->click();
    EXPECT_EQ(port.scripted.texts(),
              (std::vector<std::string>{"Password not correct",
                                        "Are you sure you want to unlock 'C:\\Docs\\Second' folder ?"}));
    EXPECT_EQ(child<QLabel>("lblStatus")->text(), QStringLiteral("1 of 2 selected folders were unlocked."));
    EXPECT_TRUE(child<QLineEdit>("txtPassword1")->text().isEmpty());
    EXPECT_TRUE(sandbox.exists(first));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Second"));
    ASSERT_EQ(count(folders()), 1);
    EXPECT_EQ(key(folders(), 0), first);
}

TEST_F(VaultTest, NoForTheSecondFolderEndsTheCommandWithoutTheClosingMessage) {
    lockFolder("First", "pw");
    const std::string second = lockFolder("Second", "pw");
    vault->Refresh();
    checkAll(folders());
    typePassword("pw");
    port.scripted.answer(Answer::Yes);
    port.scripted.answer(Answer::No);
    child<QPushButton>("cmdUnlockFolder")->click();
    EXPECT_EQ(port.scripted.texts(),
              (std::vector<std::string>{"Are you sure you want to unlock 'C:\\Docs\\First' folder ?",
                                        "Are you sure you want to unlock 'C:\\Docs\\Second' folder ?"}));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\First"));
    EXPECT_TRUE(sandbox.exists(second));
    EXPECT_TRUE(child<QPushButton>("cmdCancel")->isEnabled());
    EXPECT_FALSE(port.scripted.busy);
}

TEST_F(VaultTest, AVanishedFolderIsForgottenFromTheVaultAfterAYes) {
    const std::string locked = lockFolder("Old", "pw");
    std::filesystem::remove_all(sandbox.host(locked));
    vault->Refresh();
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        port.scripted.boxes.clear();
        port.scripted.answer(answer);
        checkAll(folders());
        typePassword("pw");
        child<QPushButton>("cmdUnlockFolder")->click();
        EXPECT_EQ(port.scripted.texts(),
                  (std::vector<std::string>{"The folder 'C:\\Docs\\Old' no longer exists. Remove it from the Security "
                                            "Vault?"}));
        EXPECT_EQ(count(folders()), answer == Answer::Yes ? 0 : 1);
    }
}

TEST_F(VaultTest, AnItemUnderALockedFolderIsNotUnlockedUntilThatFolderIs) {
    // As earlier versions left it: a file and a folder locked in C:\Docs, then C:\Docs locked around
    // them, and a folder locked inside the locked C:\Docs with its password under the tree's name.
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    lockFile("C:\\Docs", "a.txt", "pw");
    const std::string sub = lockFolder("Sub", "pw");
    const std::string docs = locking::LockedFolderPath("C:\\Docs", "Docs");
    auto lockUnrecorded = [&](const std::string& key, const std::string& fullPath) {
        locking::FolderRequest r;
        r.folder = {key, GetFileNamePart(key), fullPath};
        r.password = r.confirmation = "pw";
        testing_support::ScriptedPrompt p;
        const auto result = locking::LockFolder(r, p);
        ASSERT_TRUE(result.moved) << boxList(p);
        core::RecordLock(port.registerFile, core::RegisterKind::Folder, key, result.newPath);
    };
    lockUnrecorded("C:\\Docs", "C:\\\\Docs");
    sandbox.makeFolder(docs + "\\inner");
    lockUnrecorded(docs + "\\inner", "C:\\\\Docs\\inner");
    const std::string registerBefore = sandbox.readFile(port.registerFile);

    vault->Refresh();
    ASSERT_EQ(count(folders()), 3);
    ASSERT_EQ(count(files()), 1);
    // Sub and inner checked; the box empty, as the lost password of inner once let through.
    setCheckState(folders(), 0, Qt::Checked);
    setCheckState(folders(), 2, Qt::Checked);
    typePassword("");
    child<QPushButton>("cmdUnlockFolder")->click();
    checkAll(files());
    typePassword("pw");
    child<QPushButton>("cmdUnlockFiles")->click();
    vault->lvwFiles_DblClick(indexOf(files(), 0));

    const std::string advice = "' lies inside the locked folder 'C:\\Docs'. Unlock that folder first.";
    EXPECT_EQ(port.scripted.texts(),
              (std::vector<std::string>{"'C:\\Docs\\Sub" + advice, "'" + docs + "\\inner" + advice,
                                        "'C:\\Docs\\a.txt" + advice, "'C:\\Docs\\a.txt" + advice}));
    EXPECT_EQ(sandbox.readFile(port.registerFile), registerBefore);
    EXPECT_TRUE(sandbox.exists(docs + "\\" + GetFileNamePart(sub)));
    EXPECT_TRUE(sandbox.exists(locking::LockedFolderPath(docs + "\\inner", "inner")));
    EXPECT_TRUE(locking::HasStoredFolderPassword("C:\\\\Docs\\Sub"));
}

TEST_F(VaultTest, UnlockFilesGoesOnAfterAFailureAndRefreshes) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\b.txt", "b");
    sandbox.writeFile("C:\\Docs\\c.bin", content(300000));
    lockFile("C:\\Docs", "a.txt", "other");
    lockFile("C:\\Docs", "b.txt", "pw");
    lockFile("C:\\Docs", "c.bin", "pw");
    vault->Refresh();
    ASSERT_EQ(count(files()), 3);
    child<QPushButton>("cmdSelectAll")->click();
    typePassword("pw");
    child<QPushButton>("cmdUnlockFiles")->click();
    EXPECT_EQ(port.scripted.texts(), std::vector<std::string>{"Sorry, this is not the correct password!\r\n'a.txt'"});
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\b.txt"), "b");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\c.bin"), content(300000));
    ASSERT_EQ(count(files()), 1);
    EXPECT_EQ(text(files(), 0), QStringLiteral("C:\\Docs\\a.txt"));
}

TEST_F(VaultTest, DoubleClickOnAMissingFileSaysWhyAndKeepsTheEntry) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    lockFile("C:\\Docs", "a.txt", "pw");
    std::filesystem::remove(sandbox.host("C:\\Docs\\" + TransformName("a.txt") + ".TSL"));
    vault->Refresh();
    ASSERT_EQ(count(files()), 1);
    vault->lvwFiles_DblClick(indexOf(files(), 0));
    ASSERT_EQ(port.scripted.boxes.size(), 1u);
    EXPECT_EQ(port.scripted.last().text, "The file you are trying to unlock has either\r\n"
                                         "been removed from system or you have locked \r\n"
                                         "the folder after locking the file. Try unlocking\r\n"
                                         "the folder folder and then the file.");
    EXPECT_EQ(port.scripted.last().icon, Icon::Exclamation);
    EXPECT_EQ(port.scripted.last().title, "Cannot unlock 'C:\\Docs\\a.txt'");
    EXPECT_EQ(count(files()), 1);
}

TEST_F(VaultTest, DoubleClickUnlocksAndOpensTheFile) {
    OpenerStub opener(sandbox);
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    lockFile("C:\\Docs", "a.txt", "pw");
    vault->show();
    for (int i = 0; i < 100 && count(files()) == 0; ++i)
        QTest::qWait(20);
    ASSERT_EQ(count(files()), 1);
    typePassword("pw");
    port.scripted.answer(Answer::No);
    vault->lvwFiles_DblClick(indexOf(files(), 0));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + TransformName("a.txt") + ".TSL"));

    port.scripted.answer(Answer::Yes);
    QTreeView* list = files();
    const QPoint at = list->visualRect(indexOf(list, 0)).center();
    // A double click is a press followed by the double-click event on the same row.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(port.scripted.texts().size(), 2u) << boxList(port.scripted);
    EXPECT_EQ(port.scripted.last().text, "The file 'C:\\Docs\\a.txt' you are trying to open is locked. In order to "
                                         "view it you need to unlock it. Do you want to unlock this file and open "
                                         "it ?");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "a");
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{sandbox.host("C:\\Docs\\a.txt")});
    EXPECT_EQ(count(files()), 0);
}

// Strong locked files are listed under their original paths with the others, and unlock from the
// list and by a double click.
TEST_F(VaultTest, StrongLockedFilesAreListedAndUnlocked) {
    OpenerStub opener(sandbox);
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\s1.txt", "strong one");
    sandbox.writeFile("C:\\Docs\\s2.txt", "strong two");
    sandbox.writeFile("C:\\Docs\\s3.txt", "strong three");
    lockFile("C:\\Docs", "a.txt", "pw");
    testing_support::ScriptedPrompt p;
    core::EngineContext ctx{.prompt = p, .registerPath = port.registerFile};
    ctx.strongLocks = true;
    ctx.strongLimits = core::strong::kMinimumLimits;
    ASSERT_EQ(core::LockFilesTogether({"C:\\Docs\\s1.txt", "C:\\Docs\\s2.txt", "C:\\Docs\\s3.txt"}, "pw", ctx),
              std::vector<bool>(3, true));
    vault->Refresh();
    ASSERT_EQ(count(files()), 4);
    EXPECT_EQ(text(files(), 1), QStringLiteral("C:\\Docs\\s1.txt"));
    EXPECT_EQ(text(files(), 3), QStringLiteral("C:\\Docs\\s3.txt"));
    EXPECT_EQ(key(files(), 1).substr(key(files(), 1).size() - 4), ".TSX");

    typePassword("pw");
    port.scripted.answer(Answer::Yes);
    vault->lvwFiles_DblClick(indexOf(files(), 3));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\s3.txt"), "strong three");
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{sandbox.host("C:\\Docs\\s3.txt")});
    ASSERT_EQ(count(files()), 3);
    EXPECT_EQ(child<QLabel>("lblStatus")->text(), QStringLiteral("1 file unlocked."));

    typePassword("pw");
    child<QPushButton>("cmdSelectAll")->click();
    child<QPushButton>("cmdUnlockFiles")->click();
    EXPECT_EQ(port.scripted.texts().size(), 1u) << boxList(port.scripted);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "a");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\s1.txt"), "strong one");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\s2.txt"), "strong two");
    EXPECT_EQ(count(files()), 0);
    // Every unlock tells its outcome the same way: the status line (a folder's unlock too).
    EXPECT_EQ(child<QLabel>("lblStatus")->text(), QStringLiteral("3 files unlocked."));
}

// Each row shows its kind, and the size and modification date of its locked form on disk (no size
// for a folder; neither for an item that is not there).
TEST_F(VaultTest, EachRowShowsItsKindSizeAndDate) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\big.bin", content(210000));
    sandbox.writeFile("C:\\Docs\\s.txt", "strong");
    sandbox.writeFile("C:\\Docs\\gone.txt", "gone");
    lockFile("C:\\Docs", "a.txt", "pw");
    lockFile("C:\\Docs", "big.bin", "pw");
    lockFile("C:\\Docs", "gone.txt", "pw");
    testing_support::ScriptedPrompt p;
    core::EngineContext ctx{.prompt = p, .registerPath = port.registerFile};
    ctx.strongLocks = true;
    ctx.strongLimits = core::strong::kMinimumLimits;
    ASSERT_EQ(core::LockFilesTogether({"C:\\Docs\\s.txt"}, "pw", ctx), std::vector<bool>{true});
    const std::string folder = lockFolder("Old", "pw");
    std::filesystem::remove(sandbox.host("C:\\Docs\\" + TransformName("gone.txt") + ".TSL"));
    vault->Refresh();

    const auto cell = [](QTreeView* list, int row, int column) {
        return list->model()->index(row, column).data(Qt::DisplayRole).toString();
    };
    const auto sizeOf = [this](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::lstat(sandbox.host(path).c_str(), &st), 0) << path;
        return std::pair{static_cast<qint64>(st.st_size), static_cast<qint64>(st.st_mtim.tv_sec)};
    };
    const struct {
        const char* shown;
        const char* kind;
    } rows[] = {{"C:\\Docs\\a.txt", "hidden"},
                {"C:\\Docs\\gone.txt (not available)", "hidden"},
                {"C:\\Docs\\big.bin", "hidden"},
                {"C:\\Docs\\s.txt", "strong"}}; // the register's order: .TSL, .TSW, strong
    ASSERT_EQ(count(files()), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(rows[i].shown);
        EXPECT_EQ(text(files(), i), QString::fromLatin1(rows[i].shown));
        EXPECT_EQ(cell(files(), i, 1), QString::fromLatin1(rows[i].kind));
        if (i == 1) {
            EXPECT_EQ(cell(files(), i, 2), QString());
            EXPECT_EQ(cell(files(), i, 3), QString());
            continue;
        }
        const auto [size, modified] = sizeOf(key(files(), i));
        EXPECT_EQ(files()->model()->index(i, 2).data(locking::VaultListModel::SortRole).toLongLong(), size);
        EXPECT_EQ(cell(files(), i, 2), QLocale().formattedDataSize(size, 1, QLocale::DataSizeTraditionalFormat));
        EXPECT_EQ(cell(files(), i, 3),
                  QLocale().toString(QDateTime::fromSecsSinceEpoch(modified), QLocale::ShortFormat));
    }
    ASSERT_EQ(count(folders()), 1);
    EXPECT_EQ(cell(folders(), 0, 1), QStringLiteral("folder"));
    EXPECT_EQ(cell(folders(), 0, 2), QString());
    EXPECT_EQ(cell(folders(), 0, 3),
              QLocale().toString(QDateTime::fromSecsSinceEpoch(sizeOf(folder).second), QLocale::ShortFormat));
    EXPECT_EQ(folders()->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Modified"));
}

} // namespace

namespace {

TEST_F(VaultTest, ThePasswordBoxServesBothListsAndEmptiesAfterAnUnlock) {
    // Under both frames, not inside either.
    auto* box = child<QLineEdit>("txtPassword1");
    EXPECT_FALSE(child<QGroupBox>("fraFiles")->isAncestorOf(box));
    EXPECT_FALSE(child<QGroupBox>("fraFolders")->isAncestorOf(box));
    vault->show();
    QTest::qWait(20);
    EXPECT_GT(box->mapTo(vault.get(), QPoint(0, 0)).y(), child<QGroupBox>("fraFiles")->geometry().bottom());

    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\b.txt", "b");
    lockFile("C:\\Docs", "a.txt", "pw");
    lockFile("C:\\Docs", "b.txt", "other");
    vault->Refresh();
    ASSERT_EQ(count(files()), 2);

    // A run that unlocked nothing keeps what was typed.
    setCheckState(files(), 1, Qt::Checked);
    typePassword("pw");
    child<QPushButton>("cmdUnlockFiles")->click();
    EXPECT_EQ(port.scripted.texts(), std::vector<std::string>{"Sorry, this is not the correct password!\r\n'b.txt'"});
    EXPECT_EQ(box->text(), QStringLiteral("pw"));
    // One that unlocked a file empties the box.
    ASSERT_EQ(count(files()), 2);
    setCheckState(files(), 0, Qt::Checked);
    child<QPushButton>("cmdUnlockFiles")->click();
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "a");
    EXPECT_TRUE(box->text().isEmpty());

    // And so does a folder unlock.
    lockFolder("Old", "fpw");
    vault->Refresh();
    checkAll(folders());
    typePassword("fpw");
    child<QPushButton>("cmdUnlockFolder")->click();
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
    EXPECT_TRUE(box->text().isEmpty());
}

TEST_F(VaultTest, TabFollowsTheLayoutAndSpaceTicksTheCurrentRow) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\b.txt", "b");
    lockFile("C:\\Docs", "a.txt", "pw");
    lockFile("C:\\Docs", "b.txt", "pw");
    lockFolder("Old", "pw");
    vault->show();
    vault->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(vault.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(files()) == 2; }, 5000));

    folders()->setFocus();
    std::vector<std::string> order = {QApplication::focusWidget()->objectName().toStdString()};
    for (int i = 0; i < 9; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    const std::vector<std::string> expected = {"lvwFolders",     "cmdUnlockFolder", "lvwFiles",     "cmdSelectAll",
                                               "cmdDeselectAll", "cmdUnlockFiles",  "txtPassword1", "cmdRefresh",
                                               "cmdCancel",      "lvwFolders"};
    EXPECT_EQ(order, expected);

    // What assistive technology hears: each control's name, each row's text and tick.
    auto heard = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).toStdString();
    };
    EXPECT_EQ(heard(folders()), "Locked Folders");
    EXPECT_EQ(heard(files()), "Locked Files");
    EXPECT_EQ(heard(child<QLineEdit>("txtPassword1")), "Password:");
    EXPECT_EQ(heard(child<QPushButton>("cmdUnlockFiles")), "Unlock");

    // The files list by keyboard: arrows move, Space ticks and unticks.
    files()->setFocus();
    files()->setCurrentIndex(indexOf(files(), 0));
    QTest::keyClick(files(), Qt::Key_Down);
    EXPECT_EQ(files()->currentIndex().row(), 1);
    QTest::keyClick(files(), Qt::Key_Space);
    EXPECT_EQ(checkState(files(), 1), Qt::Checked);
    EXPECT_EQ(checkState(files(), 0), Qt::Unchecked);
    // The list is a table (name, kind, size, date): each row's first cell is its text and its tick.
    QAccessibleTableInterface* rows = QAccessible::queryAccessibleInterface(files())->tableInterface();
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->columnDescription(1), QStringLiteral("Kind"));
    EXPECT_EQ(rows->cellAt(1, 0)->text(QAccessible::Name), text(files(), 1));
    EXPECT_EQ(rows->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("hidden"));
    EXPECT_TRUE(rows->cellAt(1, 0)->state().checkable);
    EXPECT_TRUE(rows->cellAt(1, 0)->state().checked);
    EXPECT_FALSE(rows->cellAt(0, 0)->state().checked);
    QTest::keyClick(files(), Qt::Key_Space);
    EXPECT_EQ(checkState(files(), 1), Qt::Unchecked);
    folders()->setFocus();
    folders()->setCurrentIndex(indexOf(folders(), 0));
    QTest::keyClick(folders(), Qt::Key_Space);
    EXPECT_EQ(checkState(folders(), 0), Qt::Checked);
}

TEST_F(VaultTest, WhatWouldIgnoreAClickIsShownOff) {
    // While a command of the main window runs: the commands, the lists and the tick buttons.
    vault->setCommandsEnabled(false);
    for (const char* name : {"cmdUnlockFolder", "cmdUnlockFiles", "cmdRefresh", "cmdSelectAll", "cmdDeselectAll"})
        EXPECT_FALSE(child<QPushButton>(name)->isEnabled()) << name;
    EXPECT_FALSE(files()->isEnabled());
    EXPECT_FALSE(folders()->isEnabled());
    EXPECT_TRUE(child<QPushButton>("cmdCancel")->isEnabled()); // the vault still closes
    vault->setCommandsEnabled(true);
    EXPECT_TRUE(files()->isEnabled());

    // While the vault's own unlock runs, Cancel and the password box too: looked at while the
    // run's question is up.
    struct LookingPrompt final : platform::Prompt {
        platform::Answer show(const std::string& text, platform::Buttons buttons, platform::Icon icon,
                              const std::string& title) override {
            if (onShow)
                onShow();
            return script.show(text, buttons, icon, title);
        }
        void processEvents() override {}
        void setBusy(bool) override {}
        testing_support::ScriptedPrompt script;
        std::function<void()> onShow;
    } looking;
    locking::frmSecurityVault running(looking, port.registerFile, &port);
    lockFolder("Old", "pw");
    running.Refresh();
    auto* list = running.findChild<QTreeView*>(QStringLiteral("lvwFolders"));
    ASSERT_EQ(count(list), 1);
    setCheckState(list, 0, Qt::Checked);
    auto* box = running.findChild<QLineEdit*>(QStringLiteral("txtPassword1"));
    auto* cancel = running.findChild<QPushButton*>(QStringLiteral("cmdCancel"));
    box->setText(QStringLiteral("pw"));
    bool cancelOn = true, boxOn = true, listOn = true;
    looking.onShow = [&] {
        cancelOn = cancel->isEnabled();
        boxOn = box->isEnabled();
        listOn = list->isEnabled();
    };
    running.findChild<QPushButton*>(QStringLiteral("cmdUnlockFolder"))->click();
    ASSERT_EQ(looking.script.boxes.size(), 1u); // the question (the outcome goes to the status line)
    EXPECT_FALSE(cancelOn);
    EXPECT_FALSE(boxOn);
    EXPECT_FALSE(listOn);
    EXPECT_TRUE(child<QPushButton>("cmdCancel")->isEnabled());
    EXPECT_TRUE(child<QLineEdit>("txtPassword1")->isEnabled());
}

} // namespace
