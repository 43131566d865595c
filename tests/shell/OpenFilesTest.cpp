// SPDX-License-Identifier: GPL-3.0-or-later
// Files the program is started with: a locked file opens "Tessaly -Unlock File", which unlocks it as
// the main window's Unlock command does; a plain file or folder is shown in the browser pane; a later
// instance hands its files to the running one over the instance socket.

#include "ShellTestSupport.h"

#include "core/Register.h"
#include "locking/FileCommands.h"
#include "settings/Settings.h"
#include "support/OpenerStub.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "shell/OpenFiles.h"
#include "shell/SingleInstance.h"
#include "shell/UnlockFileWindow.h"
#include "shell/frmMain.h"

#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QApplication>
#include <QLineEdit>

namespace {

class OpenFilesTest : public shell_test::ShellTest {
protected:
    // Locks C:\Docs\<name> with `password` as the main window's Lock does; returns the locked file.
    std::string lock(const frmMain& w, const std::string& name, const std::string& content,
                     const std::string& password) {
        sandbox.writeFile("C:\\Docs\\" + name, content);
        locking::FileBatch batch;
        batch.folder = "C:\\Docs";
        batch.checked = {{name, name}};
        batch.password = batch.confirmation = password;
        batch.registerPath = w.registerPath();
        testing_support::ScriptedPrompt quiet;
        EXPECT_EQ(locking::LockFiles(batch, quiet).end, locking::RunEnd::Completed);
        EXPECT_TRUE(quiet.boxes.empty());
        const std::string locked = "C:\\Docs\\" + TransformName(name) + ".TSL";
        EXPECT_TRUE(sandbox.exists(locked));
        return locked;
    }
    QStringList hostArgs(std::initializer_list<std::string> windowsPaths) {
        QStringList list;
        for (const auto& p : windowsPaths)
            list << QString::fromStdString(sandbox.host(p));
        return list;
    }
};

TEST_F(OpenFilesTest, ALockedFileOpensItsWindowAndUnlocksWithTheMainWindowsRulesAndMessages) {
    testing_support::OpenerStub openerStub(sandbox);
    auto w = shownWindow();
    const std::string locked = lock(*w, "letter.txt", "Dear reader", "pw");

    // What the main window's Unlock command says to a wrong password, for comparison.
    testing_support::ScriptedPrompt direct;
    locking::FileBatch batch;
    batch.folder = "C:\\Docs";
    batch.checked = {{TransformName("letter.txt") + ".TSL", "letter.txt"}};
    batch.password = "wrong";
    batch.registerPath = w->registerPath();
    EXPECT_EQ(locking::UnlockFiles(batch, direct).end, locking::RunEnd::Stopped);
    ASSERT_FALSE(direct.boxes.empty());

    shell::FileOpener opener(*w);
    opener.open(hostArgs({locked}));
    ASSERT_EQ(opener.unlockWindows().size(), 1u);
    QPointer<shell::UnlockFileWindow> window = opener.unlockWindows().front();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tessaly -Unlock File"));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("lblFile"))->text(),
              QStringLiteral("C:\\Docs\\letter.txt (locked)"));
    auto* box = window->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("lblPassword"))->buddy(), box);
    EXPECT_EQ(window->findChild<QPushButton*>(QStringLiteral("cmdUnlock"))->text(), QStringLiteral("Unlock"));
    EXPECT_EQ(window->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->text(), QStringLiteral("Cancel"));

    // Opening the same file again brings the same window forward.
    opener.open(hostArgs({locked}));
    EXPECT_EQ(opener.unlockWindows().size(), 1u);

    // A wrong password: the same message, the file stays locked, the window stays for another try.
    prompt.boxes.clear();
    shell_test::type(window, "txtPassword", QStringLiteral("wrong"));
    shell_test::click(window, "cmdUnlock");
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(prompt.texts(), direct.texts());
    EXPECT_TRUE(sandbox.exists(locked));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\letter.txt"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->findChild<QPushButton*>(QStringLiteral("cmdUnlock"))->isEnabled());

    // The right one: the content is back under its name and the window goes.
    prompt.boxes.clear();
    shell_test::type(window, "txtPassword", QStringLiteral("pw"));
    shell_test::click(window, "cmdUnlock");
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\letter.txt"), "Dear reader");
    EXPECT_FALSE(sandbox.exists(locked));
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 10000);
    EXPECT_TRUE(opener.unlockWindows().empty());
    EXPECT_FALSE(w->isCommandBusy());
    // It was opened to be read: once unlocked, it opens.
    EXPECT_EQ(openerStub.calls(1), std::vector<std::string>{sandbox.host("C:\\Docs\\letter.txt")});
}

TEST_F(OpenFilesTest, AStrongLockedFileIsNamedByTheNameItHadAndOpensOnceUnlocked) {
    testing_support::OpenerStub openerStub(sandbox);
    auto w = shownWindow();
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear reader");
    locking::FileBatch batch;
    batch.folder = "C:\\Docs";
    batch.checked = {{"letter.txt", "letter.txt"}};
    batch.password = batch.confirmation = "strong pw";
    batch.registerPath = w->registerPath();
    batch.strongLocks = true;
    testing_support::ScriptedPrompt quiet;
    ASSERT_EQ(locking::LockFiles(batch, quiet).end, locking::RunEnd::Completed);
    const std::vector<core::RegisterItem> entries =
        core::RegisterEntries(w->registerPath(), core::RegisterKind::StrongFile);
    ASSERT_EQ(entries.size(), 1u);
    const std::string locked = entries.front().key;

    shell::FileOpener opener(*w);
    opener.open(hostArgs({locked}));
    ASSERT_EQ(opener.unlockWindows().size(), 1u);
    QPointer<shell::UnlockFileWindow> window = opener.unlockWindows().front();
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("lblFile"))->text(),
              QStringLiteral("C:\\Docs\\letter.txt (strong lock)"));
    // A wrong password names the file as the user knows it, never by its random name alone.
    shell_test::type(window, "txtPassword", QStringLiteral("wrong"));
    shell_test::click(window, "cmdUnlock");
    ASSERT_FALSE(prompt.boxes.empty());
    EXPECT_NE(prompt.boxes.front().text.find("'letter.txt (strong lock)'"), std::string::npos) << prompt.texts().front();
    EXPECT_EQ(prompt.boxes.front().text.find(GetFileNamePart(locked)), std::string::npos);

    prompt.boxes.clear();
    shell_test::type(window, "txtPassword", QStringLiteral("strong pw"));
    shell_test::click(window, "cmdUnlock");
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 10000);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\letter.txt"), "Dear reader");
    EXPECT_EQ(openerStub.calls(1), std::vector<std::string>{sandbox.host("C:\\Docs\\letter.txt")});
}

TEST_F(OpenFilesTest, TheUnlockFileWindowActsAsADialog) {
    auto w = shownWindow();
    const std::string locked = lock(*w, "letter.txt", "Dear reader", "pw");
    shell::FileOpener opener(*w);
    opener.open(hostArgs({locked}));
    ASSERT_EQ(opener.unlockWindows().size(), 1u);
    QPointer<shell::UnlockFileWindow> window = opener.unlockWindows().front();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // It opens in the middle of the main window, not at the screen's edge.
    const QPoint offset = window->frameGeometry().center() - w->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 40) << offset.x() << "," << offset.y();

    // An empty password is asked for, not called wrong; the focus comes back to the password box.
    shell_test::click(window, "cmdUnlock");
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Please type a password."});
    EXPECT_TRUE(sandbox.exists(locked));
    auto* box = window->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
    QTRY_VERIFY_WITH_TIMEOUT(box->hasFocus(), 5000);

    // A wrong password leaves the focus in the window's password box too.
    prompt.boxes.clear();
    w->activateWindow();
    shell_test::type(window, "txtPassword", QStringLiteral("wrong"));
    shell_test::click(window, "cmdUnlock");
    ASSERT_FALSE(prompt.boxes.empty());
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeWindow() == window.data(), 5000);
    EXPECT_TRUE(box->hasFocus());

    // Escape closes it and leaves the file locked.
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 5000);
    EXPECT_TRUE(sandbox.exists(locked));
}

TEST_F(OpenFilesTest, CancelLeavesTheFileLocked) {
    auto w = shownWindow();
    const std::string locked = lock(*w, "a.txt", "abc", "pw");
    shell::FileOpener opener(*w);
    opener.open(hostArgs({locked}));
    ASSERT_EQ(opener.unlockWindows().size(), 1u);
    QPointer<shell::UnlockFileWindow> window = opener.unlockWindows().front();
    shell_test::type(window, "txtPassword", QStringLiteral("pw"));
    shell_test::click(window, "cmdCancel");
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 10000);
    EXPECT_TRUE(sandbox.exists(locked));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\a.txt"));
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(OpenFilesTest, PlainFilesAndFoldersAreShownInTheBrowserPaneAndMissingOnesAreTold) {
    auto w = shownWindow();
    sandbox.writeFile("C:\\Docs\\notes.txt", "plain");
    sandbox.writeFile("C:\\Docs\\Sub\\x.txt", "x");
    shell::FileOpener opener(*w);

    opener.open(hostArgs({"C:\\Docs\\notes.txt"}));
    EXPECT_TRUE(opener.unlockWindows().empty());
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs");
    ASSERT_TRUE(w->lvwFiles()->currentIndex().isValid());
    EXPECT_EQ(shell_test::fileKey(*w, w->lvwFiles()->currentIndex().row()), "notes.txt");

    opener.open(hostArgs({"C:\\Docs\\Sub"}));
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs\\Sub");

    // A relative host path counts from the current folder.
    const QString kept = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(sandbox.host("C:\\Docs")));
    opener.open({QStringLiteral("notes.txt")});
    QDir::setCurrent(kept);
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs");

    EXPECT_TRUE(prompt.boxes.empty());
    opener.open(hostArgs({"C:\\Docs\\missing.txt"}));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "'C:\\Docs\\missing.txt' was not found.");
}

TEST_F(OpenFilesTest, ArgumentsBecomeAbsolutePathsOptionsPassedOver) {
    const QString cwd = QDir::currentPath();
    EXPECT_EQ(
        shell::AbsoluteFileArguments({QStringLiteral("a.TSL"), QStringLiteral("--unknown"),
                                      QStringLiteral("/x/../y/b.TSL"), QStringLiteral("--"),
                                      QStringLiteral("-dash.TSL")}),
        (QStringList{cwd + QStringLiteral("/a.TSL"), QStringLiteral("/y/b.TSL"), cwd + QStringLiteral("/-dash.TSL")}));
}

TEST_F(OpenFilesTest, ALaterInstanceHandsItsFilesToTheRunningOne) {
    EXPECT_FALSE(shell::SingleInstance::forwardFiles({QStringLiteral("/a")})); // nobody runs yet

    shell::SingleInstance first;
    ASSERT_TRUE(first.listen());
    QSignalSpy files(&first, &shell::SingleInstance::openRequested);
    QSignalSpy asked(&first, &shell::SingleInstance::activateRequested);
    const QStringList sent = {QStringLiteral("/home/u/letter.txt.TSL"), QStringLiteral("/home/u/odd\nname 100%.TSL")};
    EXPECT_TRUE(shell::SingleInstance::forwardFiles(sent));
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 10000);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files.front().front().toStringList(), sent);
}

// The file manager starts the program with a file while it runs: the new process hands the file to
// the running one and ends, asking for no password of its own (a password window would keep it
// running until the deadline).
TEST_F(OpenFilesTest, AFileOpenedWhileTheProgramRunsGoesToItWithoutAPasswordWindow) {
    shell::SingleInstance running;
    ASSERT_TRUE(running.listen());
    QSignalSpy files(&running, &shell::SingleInstance::openRequested);
    const QString file = QString::fromStdString(sandbox.host(sandbox.writeFile("C:\\Docs\\letter.txt.TSL", "x")));
    QProcess later;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    later.setProcessEnvironment(env);
    later.start(QStringLiteral(TESSALY_APP), {file});
    ASSERT_TRUE(later.waitForStarted(60000));
    const bool ended = QTest::qWaitFor([&] { return later.state() == QProcess::NotRunning; }, 60000);
    if (!ended) {
        later.kill();
        later.waitForFinished(10000);
    }
    ASSERT_TRUE(ended) << "the later process still runs: it waits for a password";
    EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardError().toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(files.size(), 1, 60000);
    EXPECT_EQ(files.front().front().toStringList(), QStringList{file});
}

} // namespace
