// The lock commands in the real main window: files locked and unlocked from the Main panel, a folder
// locked from the tree's pop-up menu, both unlocked again from the Security Vault, every button, menu
// item and toolbar key reaching its command, and the busy switch shared by the window and the vault.

#include "ShellTestSupport.h"
#include "support/OpenerStub.h"

#include "locking/LockingCommands.h"
#include "locking/frmSecurityVault.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "shell/MainWindowPortAdapter.h"
#include "shell/frmMain.h"
#include "shell/frmProgress.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

using platform::Answer;
using testing_support::ShownBox;

namespace {

// The scripted prompt, with a look at the program's state while each box is up (the command that
// showed it is still running then).
class HookedPrompt final : public platform::Prompt {
public:
    platform::Answer show(const std::string& text, platform::Buttons buttons, platform::Icon icon,
                          const std::string& title) override {
        const Answer a = script.show(text, buttons, icon, title);
        if (onShow)
            onShow(script.last());
        return a;
    }
    void processEvents() override { script.processEvents(); }
    void setBusy(bool on) override { script.setBusy(on); }

    testing_support::ScriptedPrompt script;
    std::function<void(const ShownBox&)> onShow;
};

// Names of the controls that change files and are enabled now: the main window's and, when one is
// open, the vault's.
std::vector<std::string> enabledFileCommands(const frmMain& w, const QWidget* vault = nullptr) {
    std::vector<std::string> on;
    for (const char* name : {"cmdLock", "cmdUnlock", "cmdSelectAll", "cmdDeselectAll"})
        if (w.button(QString::fromLatin1(name))->isEnabled())
            on.emplace_back(name);
    for (const char* name :
         {"mFileLockFiles", "mFileUnlockFile", "mFileLockFolder", "mFileUnLockFolder", "mLockFolder", "mUnLockFolder",
          "mLockFolderFiles", "mUnLockFolderFiles", "Lock", "Unlock", "LockFolder", "UnlockFolder", "mFilesOpen",
          "mFilesLock", "mFilesUnlock", "mFilesShred", "mFilesMail", "mShowHidden"})
        if (w.action(QString::fromLatin1(name))->isEnabled())
            on.emplace_back(name);
    if (w.lvwFiles()->isEnabled())
        on.emplace_back("lvwFiles");
    if (w.tvw1()->isEnabled())
        on.emplace_back("tvw1");
    if (vault)
        for (const char* name : {"cmdUnlockFolder", "cmdUnlockFiles", "cmdRefresh"})
            if (vault->findChild<QPushButton*>(QString::fromLatin1(name))->isEnabled())
                on.emplace_back(std::string("vault.") + name);
    return on;
}

QTreeWidgetItem* childNode(QTreeWidgetItem* node, const char* text) {
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == QString::fromLatin1(text))
            return node->child(i);
    return nullptr;
}

// The first cell of the file's row in lvwFiles (not valid when the list has no such file).
QModelIndex row(const frmMain& w, const std::string& key) {
    return shell_test::fileIndex(w, shell_test::fileRow(w, key));
}

// The vault's lists, read and ticked through their models.
int count(const QTreeView* list) {
    return list->model()->rowCount();
}
QString text(const QTreeView* list, int i) {
    return list->model()->index(i, 0).data(Qt::DisplayRole).toString();
}
void setCheckState(QTreeView* list, int i, Qt::CheckState state) {
    list->model()->setData(list->model()->index(i, 0), state, Qt::CheckStateRole);
}

bool visibleProgressWindow() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<frmProgress*>(top) && top->isVisible())
            return true;
    return false;
}

class LockingWiringTest : public shell_test::ShellTest {
protected:
    // The main window, looking at the drive root (it starts at the home folder): its root node is
    // clicked, as the user would.
    std::unique_ptr<frmMain> openWindow() {
        auto w = shownWindow(hooked);
        clickNode(*w, w->tvw1()->topLevelItem(0));
        EXPECT_EQ(w->browser().currentFolder(), "C:\\");
        return w;
    }

    // A click on a node of the folder tree, as the user gives it.
    static void clickNode(frmMain& w, QTreeWidgetItem* node) {
        ASSERT_NE(node, nullptr);
        w.tvw1()->scrollToItem(node);
        QTest::mouseClick(w.tvw1()->viewport(), Qt::LeftButton, {}, w.tvw1()->visualItemRect(node).center());
    }

    // Root "C:\" -> the named child folders, clicked one after the other.
    static void browseTo(frmMain& w, std::initializer_list<const char*> path) {
        QTreeWidgetItem* node = w.tvw1()->topLevelItem(0);
        for (const char* name : path) {
            node = childNode(node, name);
            ASSERT_NE(node, nullptr) << name;
            clickNode(w, node);
        }
    }

    static void typePasswords(frmMain& w, const char* first, const char* second) {
        shell_test::type(&w, "txtPassword1", QString::fromLatin1(first));
        shell_test::type(&w, "txtPassword2", QString::fromLatin1(second));
    }

    // The folder tree's pop-up menu over a node, and a click on one of its items.
    static void folderMenuCommand(frmMain& w, QTreeWidgetItem* node, const char* item) {
        const QPoint at = w.tvw1()->visualItemRect(node).center();
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, w.tvw1()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(w.tvw1()->viewport(), &request);
        QMenu* menu = w.mnuFolder();
        ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000));
        QAction* a = w.action(QString::fromLatin1(item));
        ASSERT_TRUE(menu->actions().contains(a)) << item;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    }

    HookedPrompt hooked;
};

const std::vector<std::string> kAllMainCommands = {"cmdLock",
                                                   "cmdUnlock",
                                                   "cmdSelectAll",
                                                   "cmdDeselectAll",
                                                   "mFileLockFiles",
                                                   "mFileUnlockFile",
                                                   "mFileLockFolder",
                                                   "mFileUnLockFolder",
                                                   "mLockFolder",
                                                   "mUnLockFolder",
                                                   "mLockFolderFiles",
                                                   "mUnLockFolderFiles",
                                                   "Lock",
                                                   "Unlock",
                                                   "LockFolder",
                                                   "UnlockFolder",
                                                   "mFilesOpen",
                                                   "mFilesLock",
                                                   "mFilesUnlock",
                                                   "mFilesShred",
                                                   "mFilesMail",
                                                   "mShowHidden",
                                                   "lvwFiles",
                                                   "tvw1"};

TEST_F(LockingWiringTest, TickTypeAndLockThenUnlockFromTheMainPanel) {
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear Sam,\r\nsee you on Friday.\r\n");
    sandbox.writeFile("C:\\Docs\\empty.txt", "");
    auto w = openWindow();
    browseTo(*w, {"Docs"});
    ASSERT_EQ(w->browser().currentFolder(), "C:\\Docs");
    ASSERT_TRUE(row(*w, "letter.txt").isValid());
    ASSERT_TRUE(row(*w, "empty.txt").isValid());
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, "letter.txt"), Qt::Checked);
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, "empty.txt"), Qt::Checked);
    typePasswords(*w, "Blue Moon 7", "Blue Moon 7");

    // The empty file's refusal comes in the middle of the run: look at the window from there, and
    // try to start the command again through each of its routes.
    std::vector<std::string> enabledDuringRun = {"(no box)"};
    bool progressShown = false;
    QString progressText;
    hooked.onShow = [&](const ShownBox&) {
        enabledDuringRun = enabledFileCommands(*w);
        const frmProgress* progress = w->lockingPort().progressWindow();
        progressShown = progress && progress->isVisible();
        progressText = progress ? progress->message() : QString();
        QTest::mouseClick(w->button(QStringLiteral("cmdLock")), Qt::LeftButton);
        w->action(QStringLiteral("Lock"))->trigger();
        w->action(QStringLiteral("mFileLockFiles"))->trigger();
    };
    QSignalSpy busy(w.get(), &frmMain::commandBusyChanged);
    QTest::mouseClick(w->button(QStringLiteral("cmdLock")), Qt::LeftButton);
    hooked.onShow = nullptr;

    ASSERT_EQ(hooked.script.boxes.size(), 1u) << hooked.script.boxes.front().text; // no second run
    EXPECT_EQ(hooked.script.last().text, "we can not lock the file of size 0 byte");
    EXPECT_EQ(hooked.script.last().title, "Lock Error");
    EXPECT_EQ(hooked.script.last().icon, platform::Icon::Exclamation);
    EXPECT_TRUE(enabledDuringRun.empty()) << enabledDuringRun.front();
    EXPECT_TRUE(progressShown);
    EXPECT_EQ(progressText, QStringLiteral("Lock in Progress. Please Wait..."));
    ASSERT_EQ(busy.size(), 2);
    EXPECT_TRUE(busy.at(0).at(0).toBool());
    EXPECT_FALSE(busy.at(1).at(0).toBool());

    // On disk: the letter is locked under its scrambled name, the empty file is left alone.
    const std::string locked = "C:\\Docs\\yrggre.gkt.TSL";
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\letter.txt"));
    ASSERT_TRUE(sandbox.exists(locked));
    EXPECT_EQ(sandbox.readFile(locked).substr(0, 8), "[Secret]");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\empty.txt"), "");
    // In the list: the restored name with the lock icon; the boxes emptied, the progress window gone.
    const QModelIndex lockedRow = row(*w, "yrggre.gkt.TSL");
    ASSERT_TRUE(lockedRow.isValid());
    EXPECT_EQ(lockedRow.data().toString(), QStringLiteral("letter.txt"));
    EXPECT_EQ(lockedRow.data(shell::BrowserPane::SmallIconRole).toString(), QStringLiteral("lock"));
    EXPECT_FALSE(lockedRow.data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(row(*w, "letter.txt").isValid());
    EXPECT_TRUE(w->txtPassword1()->text().isEmpty());
    EXPECT_TRUE(w->txtPassword2()->text().isEmpty());
    EXPECT_EQ(w->lockingPort().progressWindow(), nullptr);
    EXPECT_FALSE(visibleProgressWindow());
    EXPECT_EQ(enabledFileCommands(*w), kAllMainCommands);

    // Unlock: the password once, the locked row ticked.
    shell_test::setFileCheck(*w, lockedRow.row(), Qt::Checked);
    shell_test::type(w.get(), "txtPassword1", QStringLiteral("Blue Moon 7"));
    QTest::mouseClick(w->button(QStringLiteral("cmdUnlock")), Qt::LeftButton);
    EXPECT_EQ(hooked.script.boxes.size(), 1u) << hooked.script.last().text;
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\letter.txt"), "Dear Sam,\r\nsee you on Friday.\r\n");
    EXPECT_FALSE(sandbox.exists(locked));
    const QModelIndex plainRow = row(*w, "letter.txt");
    ASSERT_TRUE(plainRow.isValid());
    EXPECT_EQ(plainRow.data().toString(), QStringLiteral("letter.txt"));
    EXPECT_TRUE(plainRow.data(shell::BrowserPane::SmallIconRole).isNull());
    EXPECT_TRUE(w->txtPassword1()->text().isEmpty());
    EXPECT_FALSE(visibleProgressWindow());
    EXPECT_EQ(busy.size(), 4);
}

TEST_F(LockingWiringTest, FolderLockedFromTheTreeMenuAndEverythingUnlockedFromTheVault) {
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear Sam");
    sandbox.writeFile("C:\\Docs\\Private\\plan.txt", "the plan");
    auto w = openWindow();

    // A file locked through the toolbar.
    browseTo(*w, {"Docs"});
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, "letter.txt"), Qt::Checked);
    typePasswords(*w, "file key", "file key");
    w->action(QStringLiteral("Lock"))->trigger();
    ASSERT_TRUE(sandbox.exists("C:\\Docs\\yrggre.gkt.TSL"));

    // The vault, open beside the main window.
    w->action(QStringLiteral("mViewLockedFolders"))->trigger();
    locking::frmSecurityVault* vault = w->lockingCommands()->vault();
    ASSERT_NE(vault, nullptr);
    EXPECT_TRUE(vault->isVisible());
    EXPECT_FALSE(vault->isModal());
    auto* vaultFolders = vault->findChild<QTreeView*>(QStringLiteral("lvwFolders"));
    auto* vaultFiles = vault->findChild<QTreeView*>(QStringLiteral("lvwFiles"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(vaultFiles) == 1; }, 5000));
    EXPECT_EQ(text(vaultFiles, 0), QStringLiteral("C:\\Docs\\letter.txt"));
    EXPECT_EQ(count(vaultFolders), 0);
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs"); // the vault's refresh leaves the browser where it was

    // The folder, locked from the tree's pop-up menu; the vault's buttons are off while that runs.
    browseTo(*w, {"Docs", "Private"});
    ASSERT_EQ(w->browser().currentFolder(), "C:\\Docs\\Private");
    typePasswords(*w, "folder key", "folder key");
    std::vector<std::string> enabledDuringLock = {"(no box)"};
    hooked.onShow = [&](const ShownBox&) { enabledDuringLock = enabledFileCommands(*w, vault); };
    folderMenuCommand(*w, w->tvw1()->currentItem(), "mLockFolder");
    hooked.onShow = nullptr;

    ASSERT_EQ(hooked.script.texts(),
              std::vector<std::string>{"Are you sure you want to lock 'C:\\Docs\\Private' folder ?"});
    EXPECT_EQ(hooked.script.last().title, "Lock Confirmation");
    EXPECT_TRUE(enabledDuringLock.empty()) << enabledDuringLock.front();
    const std::string lockedFolder = "C:\\Docs\\Cevinge.TSL";
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\Private"));
    EXPECT_TRUE(sandbox.exists(lockedFolder));
    EXPECT_EQ(sandbox.readFile(lockedFolder + "\\plan.txt"), "the plan");
    EXPECT_EQ(shell::BrowserPane::nodeKey(w->tvw1()->currentItem()), lockedFolder);
    EXPECT_EQ(w->browser().currentFolder(), lockedFolder);
    EXPECT_TRUE(w->txtPassword1()->text().isEmpty());
    EXPECT_TRUE(w->txtPassword2()->text().isEmpty());
    EXPECT_EQ(enabledFileCommands(*w, vault).size(), kAllMainCommands.size() + 3);

    shell_test::click(vault, "cmdRefresh");
    ASSERT_EQ(count(vaultFolders), 1);
    EXPECT_EQ(text(vaultFolders, 0), QStringLiteral("C:\\Docs\\Private"));
    ASSERT_EQ(count(vaultFiles), 1);

    // The folder back from the vault; the main window's commands are off while the vault runs.
    shell_test::type(vault, "txtPassword1", QStringLiteral("folder key"));
    setCheckState(vaultFolders, 0, Qt::Checked);
    std::vector<std::string> enabledDuringVaultRun = {"(no box)"};
    bool cancelOnDuringVaultRun = true;
    hooked.onShow = [&](const ShownBox& box) {
        if (box.buttons == platform::Buttons::YesNo) {
            enabledDuringVaultRun = enabledFileCommands(*w, vault);
            cancelOnDuringVaultRun = vault->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->isEnabled();
        }
    };
    shell_test::click(vault, "cmdUnlockFolder");
    hooked.onShow = nullptr;
    EXPECT_TRUE(enabledDuringVaultRun.empty()) << enabledDuringVaultRun.front();
    EXPECT_FALSE(cancelOnDuringVaultRun); // the vault does not close during its own run
    // The password that opened the folder is not left in the box.
    EXPECT_TRUE(vault->findChild<QLineEdit*>(QStringLiteral("txtPassword1"))->text().isEmpty());
    const std::vector<std::string> afterFolder = {"Are you sure you want to lock 'C:\\Docs\\Private' folder ?",
                                                  "Are you sure you want to unlock 'C:\\Docs\\Private' folder ?"};
    EXPECT_EQ(hooked.script.texts(), afterFolder);
    // The outcome is in the vault's status line: a box comes only for a failure.
    EXPECT_EQ(vault->findChild<QLabel*>(QStringLiteral("lblStatus"))->text(),
              QStringLiteral("All selected folders have been unlocked"));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\Private\\plan.txt"), "the plan");
    EXPECT_FALSE(sandbox.exists(lockedFolder));
    EXPECT_EQ(count(vaultFolders), 0);
    EXPECT_EQ(enabledFileCommands(*w, vault).size(), kAllMainCommands.size() + 3);

    // The file back from the vault.
    ASSERT_EQ(count(vaultFiles), 1);
    shell_test::type(vault, "txtPassword1", QStringLiteral("file key"));
    setCheckState(vaultFiles, 0, Qt::Checked);
    shell_test::click(vault, "cmdUnlockFiles");
    EXPECT_EQ(hooked.script.texts(), afterFolder);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\letter.txt"), "Dear Sam");
    EXPECT_TRUE(vault->findChild<QLineEdit*>(QStringLiteral("txtPassword1"))->text().isEmpty());
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\yrggre.gkt.TSL"));
    EXPECT_EQ(count(vaultFiles), 0);
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs");
    EXPECT_FALSE(w->isCommandBusy());

    // The vault's refresh rebuilt the folder tree: the folder is found again under its plain name.
    browseTo(*w, {"Docs", "Private"});
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs\\Private");
    EXPECT_EQ(hooked.script.texts(), afterFolder);

    // Any other command that switches the window busy switches the vault's buttons off as well.
    w->setCommandBusy(true);
    EXPECT_TRUE(enabledFileCommands(*w, vault).empty());
    w->setCommandBusy(false);
    EXPECT_EQ(enabledFileCommands(*w, vault).size(), kAllMainCommands.size() + 3);

    shell_test::click(vault, "cmdCancel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->lockingCommands()->vault() == nullptr; }, 5000));
}

TEST_F(LockingWiringTest, EveryButtonMenuItemAndToolbarKeyReachesItsCommand) {
    sandbox.writeFile("C:\\top.txt", "top");
    sandbox.writeFile("C:\\second.txt", "second");
    auto w = openWindow();
    ASSERT_EQ(shell_test::fileCount(*w), 2);
    QSignalSpy busy(w.get(), &frmMain::commandBusyChanged);

    // The boot drive root is shown and its root node selected: each route ends in its command's
    // first refusal, with two different passwords typed.
    struct Route {
        std::function<void()> press;
        std::string expected;
    };
    auto button = [&](const char* name) { return [&w, name] { shell_test::click(w.get(), name); }; };
    auto item = [&](const char* name) { return [&w, name] { w->action(QString::fromLatin1(name))->trigger(); }; };
    const std::string bootRoot = "Sorry you cannot lock any file in the Boot Drive root folder";
    const std::vector<Route> routes = {
        {button("cmdLock"), bootRoot},
        {item("mFileLockFiles"), bootRoot},
        {item("Lock"), bootRoot},
        {item("mFilesLock"), bootRoot},
        {button("cmdUnlock"), "No file is checked"},
        {item("mFileUnlockFile"), "No file is checked"},
        {item("Unlock"), "No file is checked"},
        {item("mFilesUnlock"), "No file is checked"},
        {item("mLockFolder"), "The two passwords are not the same!"},
        {item("mFileLockFolder"), "The two passwords are not the same!"},
        {item("LockFolder"), "The two passwords are not the same!"},
        {item("mUnLockFolder"), "password confirmation error"},
        {item("mFileUnLockFolder"), "password confirmation error"},
        {item("UnlockFolder"), "password confirmation error"},
        {item("mLockFolderFiles"), "Sorry you cannot lock this folder"},
    };
    for (std::size_t i = 0; i < routes.size(); ++i) {
        typePasswords(*w, "one", "two");
        const std::size_t before = hooked.script.boxes.size();
        routes[i].press();
        ASSERT_EQ(hooked.script.boxes.size(), before + 1) << "route " << i;
        EXPECT_EQ(hooked.script.last().text, routes[i].expected) << "route " << i;
        EXPECT_EQ(busy.size(), static_cast<int>(2 * (i + 1))) << "route " << i;
        // A refusal that is not about the password leaves the boxes as they were.
        if (routes[i].expected == "No file is checked") {
            EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("txtPassword1"))->text(), QStringLiteral("one"));
            EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("txtPassword2"))->text(), QStringLiteral("two"));
        }
    }
    // Unlock Folder and files on a folder that is not locked ends without a word, but it ran.
    item("mUnLockFolderFiles")();
    EXPECT_EQ(busy.size(), static_cast<int>(2 * routes.size() + 2));
    const std::size_t boxes = hooked.script.boxes.size();

    // Select All and Deselect All tick and untick every row.
    auto ticked = [&] {
        int n = 0;
        for (int i = 0; i < shell_test::fileCount(*w); ++i)
            n += shell_test::fileCheck(*w, i) == Qt::Checked;
        return n;
    };
    shell_test::click(w.get(), "cmdSelectAll");
    EXPECT_EQ(ticked(), 2);
    shell_test::click(w.get(), "cmdDeselectAll");
    EXPECT_EQ(ticked(), 0);

    // A double click on a plain file opens it with its default application.
    testing_support::OpenerStub opener(sandbox);
    const QModelIndex top = row(*w, "top.txt");
    ASSERT_TRUE(top.isValid());
    const QPoint at = shell_test::fileRowRect(*w, top.row()).center();
    // As the window system gives it: a click, then the second press as a double click.
    QWidget* viewport = w->lvwFiles()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QMouseEvent second(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                       Qt::NoModifier);
    QApplication::sendEvent(viewport, &second);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{sandbox.host("C:\\top.txt")});

    // "SafeVault" shows the vault modally; "SendEmail" goes to the mail command.
    QString modalName;
    shell_test::whenModal([&](QWidget* modal) {
        modalName = modal->objectName();
        modal->close();
    });
    w->action(QStringLiteral("SafeVault"))->trigger();
    EXPECT_EQ(modalName, QStringLiteral("frmSecurityVault"));
    QSignalSpy mail(w->lockingCommands(), &locking::LockingCommands::sendEmailRequested);
    w->action(QStringLiteral("SendEmail"))->trigger();
    EXPECT_EQ(mail.size(), 1);
    ASSERT_EQ(hooked.script.boxes.size(), boxes + 1); // nothing is ticked: the mail command says so
    EXPECT_EQ(hooked.script.last().text, "you have to select atleast one locked file ");
}

TEST_F(LockingWiringTest, TheCommandsKnowTheRunningProgramAndItsFolder) {
    // A drive whose folder holds this test program, so that the program has a Windows-form path.
    const std::string hostFolder = QCoreApplication::applicationDirPath().toStdString();
    const std::string file = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    platform::registry().setString(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "T",
                                   hostFolder);
    platform::reloadDrives();
    frmMain w(hooked);
    EXPECT_EQ(w.lockingCommands()->ownExecutable(), "T:\\" + file);
    EXPECT_EQ(w.lockingCommands()->ownFolder(), "T:\\");
}

} // namespace

namespace {

TEST_F(LockingWiringTest, LockFolderRefreshesItsBranchKeepsItOpenAndKeepsTheSelection) {
    sandbox.writeFile("C:\\Docs\\Private\\Sub\\Deep\\note.txt", "deep");
    sandbox.writeFile("C:\\Docs\\Private\\Sub\\a.txt", "a");
    sandbox.makeFolder("C:\\Docs\\Private\\Other");
    sandbox.makeFolder("C:\\Music");
    auto w = openWindow();
    const int topFolders = w->tvw1()->topLevelItem(0)->childCount();
    browseTo(*w, {"Docs", "Private", "Sub", "Deep"});
    browseTo(*w, {"Docs", "Private"});
    QTreeWidgetItem* privateNode = w->tvw1()->currentItem();
    ASSERT_EQ(shell::BrowserPane::nodeKey(privateNode), "C:\\Docs\\Private");
    ASSERT_TRUE(childNode(privateNode, "Sub")->isExpanded());

    typePasswords(*w, "folder key", "folder key");
    folderMenuCommand(*w, privateNode, "mLockFolder");
    const std::string locked = "C:\\Docs\\Cevinge.TSL";
    ASSERT_TRUE(sandbox.exists(locked));

    // The same node, still selected, under the folder's new path and its known name.
    EXPECT_EQ(w->tvw1()->currentItem(), privateNode);
    EXPECT_EQ(shell::BrowserPane::nodeKey(privateNode), locked);
    EXPECT_EQ(privateNode->text(0), QStringLiteral("Private"));
    EXPECT_EQ(w->browser().currentFolder(), locked);
    EXPECT_EQ(w->panelText(2), QStringLiteral("C:\\Docs\\Private (locked)"));
    // Its branch is read again from the new place, open where it was open.
    QTreeWidgetItem* sub = childNode(privateNode, "Sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_NE(childNode(privateNode, "Other"), nullptr);
    EXPECT_EQ(shell::BrowserPane::nodeKey(sub), locked + "\\Sub");
    EXPECT_TRUE(sub->isExpanded());
    ASSERT_NE(childNode(sub, "Deep"), nullptr);
    EXPECT_EQ(shell::BrowserPane::nodeKey(childNode(sub, "Deep")), locked + "\\Sub\\Deep");
    EXPECT_TRUE(privateNode->parent()->isExpanded());

    // A subfolder picked after the lock opens: no "Path Not found", the tree stays as it is.
    const std::size_t boxes = hooked.script.boxes.size();
    clickNode(*w, sub);
    EXPECT_EQ(hooked.script.boxes.size(), boxes) << hooked.script.last().text;
    EXPECT_EQ(w->browser().currentFolder(), locked + "\\Sub");
    EXPECT_EQ(w->panelText(2), QStringLiteral("C:\\Docs\\Private (locked)\\Sub"));
    EXPECT_EQ(w->tvw1()->topLevelItem(0)->childCount(), topFolders); // not rebuilt
    EXPECT_NE(childNode(w->tvw1()->topLevelItem(0), "Docs"), nullptr);
    EXPECT_TRUE(childNode(w->tvw1()->topLevelItem(0), "Docs")->isExpanded());
}

// Where Ctrl+U is a line-editing key (X11's key bindings; ctest runs this test under Xvfb too), a
// password box would take it for itself.
TEST_F(LockingWiringTest, CtrlUAndCtrlLReachTheFolderCommandsFromThePasswordBoxes) {
    sandbox.makeFolder("C:\\Docs");
    auto w = openWindow();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get())); // window shortcuts reach the active window only
    browseTo(*w, {"Docs"});
    for (const char* box : {"txtPassword1", "txtPassword2"}) {
        struct Key {
            Qt::Key key;
            std::string expected;
        };
        for (const Key& k :
             {Key{Qt::Key_L, "The two passwords are not the same!"}, Key{Qt::Key_U, "password confirmation error"}}) {
            typePasswords(*w, "one", "two");
            auto* edit = w->findChild<QLineEdit*>(QString::fromLatin1(box));
            edit->setFocus();
            const std::size_t before = hooked.script.boxes.size();
            QTest::keyClick(edit, k.key, Qt::ControlModifier);
            ASSERT_EQ(hooked.script.boxes.size(), before + 1) << box << " " << k.expected;
            EXPECT_EQ(hooked.script.last().text, k.expected) << box;
        }
    }
}

} // namespace
