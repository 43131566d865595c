// The main window: its loading steps, frame, close sequence, tabs, command switch and the
// single-instance rule.

#include "ShellTestSupport.h"

#include "core/FolderMarks.h"
#include "core/LockEngine.h"
#include "core/Register.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/modGeneral.h"
#include "shell/FileListBox.h"
#include "shell/SingleInstance.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

using platform::Answer;

namespace {

class MainWindowTest : public shell_test::ShellTest {};

std::uint32_t dword(const char* key, const char* name) {
    platform::RegValue v;
    if (platform::registry().queryValue(platform::RegRoot::CurrentUser, key, name, v) != platform::kRegSuccess ||
        v.type != platform::REG_DWORD || v.data.size() != 4)
        return 0xFFFFFFFFu;
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
    return n;
}

TEST_F(MainWindowTest, LoadingCreatesTheRegisterWritesTheDisplayValuesAndOpensDriveC) {
    sandbox.makeFolder("C:\\Docs");
    sandbox.writeFile("C:\\top.txt", "12345");
    platform::registry().setDword(platform::RegRoot::CurrentUser, settings::kAdvancedKey, settings::ExplorerHidden.name, 1);
    const std::string registerHost = platform::toHost(core::RegisterPath());
    ASSERT_FALSE(std::filesystem::exists(registerHost));

    frmMain w(prompt);
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Loaded);

    EXPECT_TRUE(std::filesystem::exists(registerHost));
    EXPECT_EQ(w.registerPath(), core::RegisterPath());
    for (const char* name : {settings::ShowSuperHidden.name, settings::ExplorerHidden.name, settings::SuperHidden.name})
        EXPECT_EQ(dword(settings::kAdvancedKey, name), 0u) << name;
    EXPECT_NE(w.appLog(), nullptr);

    ASSERT_EQ(w.tvw1()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = w.tvw1()->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("C:\\"));
    EXPECT_EQ(shell::BrowserPane::nodeKey(root), "C:\\");
    EXPECT_TRUE(root->isExpanded());
    bool docs = false;
    for (int i = 0; i < root->childCount(); ++i)
        docs |= root->child(i)->text(0) == QStringLiteral("Docs");
    EXPECT_TRUE(docs);
    EXPECT_TRUE(w.drvDrives()->currentText().startsWith(QStringLiteral("c: [")));
    // The tree opens down to the home folder (the sandbox's C:\home), and the list shows it.
    EXPECT_EQ(w.browser().currentFolder(), "C:\\home");
    ASSERT_NE(w.tvw1()->currentItem(), nullptr);
    EXPECT_EQ(shell::BrowserPane::nodeKey(w.tvw1()->currentItem()), "C:\\home");
    EXPECT_EQ(w.tvw1()->currentItem()->parent(), root);
    EXPECT_EQ(w.simpleText(), QStringLiteral("Total Files: 0"));
    EXPECT_EQ(shell_test::fileCount(w), 0);
    EXPECT_TRUE(prompt.boxes.empty());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Free - Tessaly"));
}

TEST_F(MainWindowTest, ADataFolderOnNoDriveIsToldInWords) {
    // Drive C: moved to a subfolder: the program's data folder, and so the register, is on no drive.
    const std::string docs = sandbox.makeFolder("C:\\Docs");
    platform::registry().setString(platform::RegRoot::CurrentUser, settings::kDrivesKey, "C", sandbox.host(docs));
    platform::reloadDrives();
    frmMain w(prompt);
    w.Form_Load();
    ASSERT_EQ(prompt.boxes.size(), 1u) << testing::PrintToString(prompt.texts());
    EXPECT_NE(prompt.last().text.find("Tessaly cannot keep its records: the program's data folder "), std::string::npos)
        << prompt.last().text;
    EXPECT_NE(prompt.last().text.find(" is on none of its drives."), std::string::npos) << prompt.last().text;
    EXPECT_EQ(prompt.last().icon, platform::Icon::Critical);
}

TEST_F(MainWindowTest, FrameHasItsTabsMenusAndToolbar) {
    frmMain w(prompt);
    QTabWidget* tabs = w.tabMain();
    const QStringList captions = {QStringLiteral("Main"), QStringLiteral("Favorites Manager"),
                                  QStringLiteral("Password Wallet"), QStringLiteral("File Shredder"),
                                  QStringLiteral("Image Viewer")};
    const int panels[] = {0, 2, 3, 4, 1};
    ASSERT_EQ(tabs->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tabs->tabText(i), captions[i]);
        EXPECT_EQ(tabs->widget(i), w.fraMain(panels[i]));
    }

    struct Item {
        const char* name;
        const char* caption;
    };
    const Item items[] = {{"mViewLockedFolders", "Security Vault"},
                          {"mFileLockFiles", "&Lock Files"},
                          {"mFileUnlockFile", "&Unlock Files"},
                          {"mFileLockFolder", "Lock Folder"},
                          {"mFileUnLockFolder", "Unlock Folder"},
                          {"mFileExit", "E&xit"},
                          {"mOptionsPreferences", "&Preferences"},
                          {"mnuHP", "Help &Pages"},
                          {"mnuVUO", "Visit &Us Online"},
                          {"mnuAbout", "&About Tessaly"},
                          {"mShow", "&Show"},
                          {"mHide", "&Hide"},
                          {"mExit", "E&xit"},
                          {"mLockFolder", "Lock Folder"},
                          {"mUnLockFolder", "Unlock Folder"},
                          {"mLockFolderFiles", "Lock Folder and Files"},
                          {"mUnLockFolderFiles", "Unlock Folder and files"},
                          {"mShredFolderandFiles", "Shred Folder and Files"},
                          {"Lock", "Lock Files"},
                          {"Unlock", "Unlock Files"},
                          {"LockFolder", "Lock Folder"},
                          {"UnlockFolder", "Unlock Folder"},
                          {"SafeVault", "Safe Vault"},
                          {"SendEmail", "Send Email"}};
    for (const Item& item : items) {
        QAction* a = w.action(QString::fromLatin1(item.name));
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_EQ(a->text(), QString::fromLatin1(item.caption)) << item.name;
        // Visit Us Online has no address to visit in a fresh sandbox.
        EXPECT_EQ(a->isEnabled(), std::string(item.name) != "mnuVUO") << item.name;
    }
    QStringList menus;
    for (QAction* a : w.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&View"), QStringLiteral("&Options"),
                                  QStringLiteral("&Help")}));
    QAction* showHidden = w.action(QStringLiteral("mShowHidden"));
    EXPECT_EQ(showHidden->text(), QStringLiteral("Show &Hidden Files"));
    EXPECT_TRUE(showHidden->isCheckable());
    EXPECT_FALSE(showHidden->isChecked());
    EXPECT_EQ(showHidden->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    EXPECT_EQ(w.findChild<QMenu*>(QStringLiteral("mnuView"))->actions(), QList<QAction*>{showHidden});
    // The File menu's folder commands show the same keys as the folder menu's (the keys run the
    // command once: see LockingWiringTest's CtrlU test).
    for (const char* name : {"mLockFolder", "mFileLockFolder"})
        EXPECT_EQ(w.action(QString::fromLatin1(name))->shortcut(), QKeySequence(QStringLiteral("Ctrl+L"))) << name;
    for (const char* name : {"mUnLockFolder", "mFileUnLockFolder"})
        EXPECT_EQ(w.action(QString::fromLatin1(name))->shortcut(), QKeySequence(QStringLiteral("Ctrl+U"))) << name;
    EXPECT_EQ(w.action(QStringLiteral("LockFolder"))->toolTip(),
              QStringLiteral("Select Folder in the folder list and click on this button"));
    EXPECT_EQ(w.tbrLock()->actions().size(), 6);

    QSignalSpy pressed(w.lockingPage(), &locking::LockingPage::lockToolbarClicked);
    // The key opens the Security Vault modally: close it once it is up.
    shell_test::whenModal([](QWidget* vault) { vault->close(); });
    w.action(QStringLiteral("SafeVault"))->trigger();
    ASSERT_EQ(pressed.size(), 1);
    EXPECT_EQ(pressed.at(0).at(0).toString(), QStringLiteral("SafeVault"));

    const QStringList headers = {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type")};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(shell_test::files(w).headerData(i, Qt::Horizontal).toString(), headers[i]);
    const char* buttons[][2] = {{"cmdLock", "Lock"},
                                {"cmdUnlock", "Unlock"},
                                {"cmdSelectAll", "&Select All"},
                                {"cmdDeselectAll", "Deselect All"},
                                {"cmdSendEmail", "Send to Mail Recipient"},
                                {"cmdExit", "E&xit"}};
    for (const auto& b : buttons) {
        ASSERT_NE(w.button(QString::fromLatin1(b[0])), nullptr) << b[0];
        EXPECT_EQ(w.button(QString::fromLatin1(b[0]))->text(), QString::fromLatin1(b[1]));
    }
    EXPECT_FALSE(w.filFiles()->isVisible());
}

TEST_F(MainWindowTest, OnlyTheLockFolderButtonShowsATipOnHover) {
    frmMain w(prompt);
    w.show();
    // What a hover over the button of `key` shows. The keys without a tip come first: a shown tip
    // fades out slowly and would still be up for the next hover.
    const auto hover = [&w](const char* key) {
        auto* button = qobject_cast<QToolButton*>(w.tbrLock()->widgetForAction(w.action(QString::fromLatin1(key))));
        EXPECT_NE(button, nullptr) << key;
        if (!button)
            return QString();
        const QPoint at = button->rect().center();
        QHelpEvent event(QEvent::ToolTip, at, button->mapToGlobal(at));
        QApplication::sendEvent(button, &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    for (const char* key : {"Lock", "Unlock", "UnlockFolder", "SafeVault", "SendEmail"})
        EXPECT_EQ(hover(key), QString()) << key;
    EXPECT_EQ(hover("LockFolder"), QStringLiteral("Select Folder in the folder list and click on this button"));
    QToolTip::hideText();
}

TEST_F(MainWindowTest, EveryExitRouteAsksAndNoKeepsTheWindow) {
    frmMain w(prompt);
    w.Form_Load();
    w.show();
    QSignalSpy ended(&w, &frmMain::exitConfirmed);
    const std::vector<std::function<void()>> routes = {
        [&] { w.close(); },
        [&] { w.action(QStringLiteral("mFileExit"))->trigger(); },
        [&] { w.action(QStringLiteral("mExit"))->trigger(); },
        [&] { w.button(QStringLiteral("cmdExit"))->click(); },
    };
    for (const auto& route : routes) {
        prompt.answer(Answer::No);
        route();
        ASSERT_FALSE(prompt.boxes.empty());
        EXPECT_EQ(prompt.last().text, "Are you sure you want to exit this program?");
        EXPECT_EQ(prompt.last().title, "Confirmation");
        EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNo);
        EXPECT_EQ(prompt.last().icon, platform::Icon::Question);
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(ended.size(), 0);
    }
    EXPECT_EQ(prompt.boxes.size(), routes.size());

    prompt.answer(Answer::Yes);
    w.action(QStringLiteral("mExit"))->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(ended.size(), 1);
}

TEST_F(MainWindowTest, ChoosingAnotherTabEmptiesPanelTwo) {
    frmMain w(prompt);
    w.Form_Load();
    for (int tab : {1, 4, 0, 3}) {
        w.setPanelText(2, QStringLiteral("C:\\Docs"));
        w.tabMain()->setCurrentIndex(tab);
        EXPECT_EQ(w.panelText(2), QString()) << tab;
        // "Total Files" counts the Main tab's list: it is not left standing under the others.
        EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("sbrMainSimpleText"))->isHidden(), tab != 0) << tab;
    }
}

TEST_F(MainWindowTest, BusySwitchTurnsOffEveryFileCommandAndHoldsTheClose) {
    frmMain w(prompt);
    w.Form_Load();
    w.show();
    const char* actions[] = {"mFileLockFiles",
                             "mFileUnlockFile",
                             "mFileLockFolder",
                             "mFileUnLockFolder",
                             "mLockFolder",
                             "mUnLockFolder",
                             "mLockFolderFiles",
                             "mUnLockFolderFiles",
                             "mShredFolderandFiles",
                             "Lock",
                             "Unlock",
                             "LockFolder",
                             "UnlockFolder",
                             "SafeVault",
                             "mExit",
                             "mFileExit"};
    QAction extra;
    w.addFileCommand(&extra);
    w.setCommandBusy(true);
    for (const char* name : actions)
        EXPECT_FALSE(w.action(QString::fromLatin1(name))->isEnabled()) << name;
    EXPECT_FALSE(extra.isEnabled());
    EXPECT_FALSE(w.button(QStringLiteral("cmdLock"))->isEnabled());
    EXPECT_FALSE(w.button(QStringLiteral("cmdUnlock"))->isEnabled());
    EXPECT_FALSE(w.tvw1()->isEnabled());
    // The exits would be refused while the command runs: they are shown off as well.
    EXPECT_FALSE(w.button(QStringLiteral("cmdExit"))->isEnabled());
    EXPECT_TRUE(w.action(QStringLiteral("SendEmail"))->isEnabled());
    EXPECT_TRUE(w.action(QStringLiteral("mViewLockedFolders"))->isEnabled());

    w.close(); // refused without a question while the command runs
    EXPECT_TRUE(prompt.boxes.empty());
    EXPECT_TRUE(w.isVisible());

    w.setCommandBusy(false);
    for (const char* name : actions)
        EXPECT_TRUE(w.action(QString::fromLatin1(name))->isEnabled()) << name;
    EXPECT_TRUE(extra.isEnabled());
    EXPECT_TRUE(w.button(QStringLiteral("cmdLock"))->isEnabled());
    prompt.answer(Answer::No);
    w.close();
}

TEST_F(MainWindowTest, WithoutATrayMinimisingKeepsTheWindowReachableAndShowRestoresIt) {
    frmMain w(prompt);
    w.Form_Load();
    w.show();
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()); // the offscreen platform has none
    EXPECT_EQ(w.trayIcon(), nullptr);
    // The tray menu's Hide and the image viewer's Minimize alike.
    QAction* viewerMinimize = w.fraMain(1)->findChild<QAction*>(QStringLiteral("Show"));
    ASSERT_NE(viewerMinimize, nullptr);
    for (QAction* minimize : {w.action(QStringLiteral("mHide")), viewerMinimize}) {
        minimize->trigger();
        QCoreApplication::processEvents();
        EXPECT_TRUE(w.isMinimized()) << minimize->objectName().toStdString();
        EXPECT_TRUE(w.isVisible()) << minimize->objectName().toStdString(); // on the task bar, not hidden
        w.action(QStringLiteral("mShow"))->trigger();
        EXPECT_FALSE(w.isMinimized());
        EXPECT_TRUE(w.isVisible());
    }
    prompt.answer(Answer::No);
}

TEST_F(MainWindowTest, SecondInstanceAsksTheFirstToComeForwardOverTheSocket) {
    shell::SingleInstance second;
    EXPECT_FALSE(second.activatePrevious()); // nobody runs yet

    shell::SingleInstance first;
    ASSERT_TRUE(first.listen());
    QSignalSpy asked(&first, &shell::SingleInstance::activateRequested);
    EXPECT_TRUE(second.activatePrevious());
    EXPECT_TRUE(asked.wait(5000));
    EXPECT_EQ(asked.size(), 1);
}

TEST_F(MainWindowTest, StaleSocketOfACrashedRunIsTakenOver) {
    // A socket file that nobody listens on any more, as a crashed run leaves it.
    const std::string path = shell::SingleInstance::serverName().toStdString();
    ASSERT_EQ(path.front(), '/');
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(std::filesystem::exists(path));

    shell::SingleInstance instance;
    EXPECT_FALSE(instance.activatePrevious());
    EXPECT_TRUE(instance.listen());
    shell::SingleInstance later;
    EXPECT_TRUE(later.activatePrevious());
}

TEST_F(MainWindowTest, EachDataFolderHasItsOwnInstance) {
    const QString here = shell::SingleInstance::serverName();
    testing_support::Sandbox other; // another XDG data folder
    EXPECT_NE(shell::SingleInstance::serverName(), here);
}

TEST_F(MainWindowTest, SecondStartBringsTheFirstWindowToTheFrontAndEnds) {
    frmMain first(prompt);
    ASSERT_EQ(first.Form_Load(), frmMain::LoadResult::Loaded);
    first.show();
    first.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(first.isMinimized());

    frmMain second(prompt);
    EXPECT_EQ(second.Form_Load(), frmMain::LoadResult::OtherInstanceActivated);
    EXPECT_EQ(second.tvw1()->topLevelItemCount(), 0); // loading stopped at that step
    EXPECT_TRUE(QTest::qWaitFor([&] { return !first.isMinimized(); }, 5000));
    EXPECT_TRUE(first.isVisible());
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
}

} // namespace

// At start the folders of the register are swept: the copy an interrupted unlock left beside a
// locked file goes (the locked file is the truth), and the user is told.
TEST_F(MainWindowTest, LoadingFinishesRunsThatWereInterrupted) {
    const std::string registerPath = core::RegisterPath();
    core::EnsureRegister(registerPath);
    const std::string plain = sandbox.writeFile("C:\\Docs\\report.txt", "the report");
    core::EngineContext ctx{.prompt = prompt, .registerPath = registerPath};
    ASSERT_TRUE(core::Encrypt(plain, "pw", ctx));
    const std::string leftover = "C:\\Docs\\.report.txt.0123456789abcdef.tessaly-tmp";
    sandbox.writeFile(leftover, "the rep");
    // The mark by which the sweep knows the file as the program's own (its name alone is not enough).
    ASSERT_EQ(::setxattr(sandbox.host(leftover).c_str(), "user.tessaly.target", "report.txt", 10, 0), 0);
    prompt.boxes.clear();

    frmMain w(prompt);
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Loaded);

    EXPECT_FALSE(sandbox.exists(leftover));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + TransformName("report.txt") + ".TSL"));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text,
              "The unfinished result of a run on 'C:\\Docs\\report.txt' was removed; the file itself is unchanged.");
}

// A file inside a locked folder that the register knows is named by the folder's former name.
TEST_F(MainWindowTest, WhatWasRecoveredInsideALockedFolderIsNamedAsTheUserKnowsIt) {
    const std::string registerPath = core::RegisterPath();
    core::EnsureRegister(registerPath);
    const std::string plain = sandbox.writeFile("C:\\Frperg.TSL\\report.txt", "the report");
    core::EngineContext ctx{.prompt = prompt, .registerPath = registerPath};
    ASSERT_TRUE(core::Encrypt(plain, "pw", ctx));
    core::RecordLock(registerPath, core::RegisterKind::Folder, "C:\\Secret", "C:\\Frperg.TSL");
    // The folder's marks as its lock leaves them (a folder without them is mended by the sweep too).
    sandbox.writeFile("C:\\Frperg.TSL\\desktop.ini", core::kDesktopIniLines);
    platform::setAttributes("C:\\Frperg.TSL\\desktop.ini", platform::kAttrHidden);
    platform::setAttributes("C:\\Frperg.TSL", platform::kAttrHidden | platform::kAttrSystem);
    const std::string leftover =
        sandbox.writeFile("C:\\Frperg.TSL\\.report.txt.0123456789abcdef.tessaly-tmp", "the rep");
    ASSERT_EQ(::setxattr(sandbox.host(leftover).c_str(), "user.tessaly.target", "report.txt", 10, 0), 0);
    prompt.boxes.clear();

    frmMain w(prompt);
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Loaded);

    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "The unfinished result of a run on 'C:\\Secret (locked)\\report.txt' was removed; "
                                  "the file itself is unchanged.");
}
