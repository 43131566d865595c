// The main window asks for what it needs: no lock and no application password without a password,
// the file's own password for a double click when the boxes are empty, and the selected rows when
// none is ticked. Driven through the real windows.

#include "ShellTestSupport.h"
#include "support/OpenerStub.h"

#include "core/AppPassword.h"
#include "core/Scrambler.h"
#include "options/frmOptions.h"
#include "shell/MainWindowPortAdapter.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTreeWidget>

namespace {

constexpr const char* kLetterKey = "yrggre.gkt.TSL"; // letter.txt, locked
constexpr const char* kLetterLocked = "C:\\Docs\\yrggre.gkt.TSL";

class PasswordsAndChoiceTest : public shell_test::ShellTest {
protected:
    // The main window showing C:\Docs.
    std::unique_ptr<frmMain> openDocs() {
        auto w = shownWindow();
        w->browser().setCurrentFolder("C:\\Docs");
        return w;
    }
    // The first cell of the file's row in lvwFiles (not valid when the list has no such file).
    static QModelIndex row(const frmMain& w, const std::string& key) {
        return shell_test::fileIndex(w, shell_test::fileRow(w, key));
    }
    static QPoint centreOf(const frmMain& w, const std::string& key) {
        return shell_test::fileRowRect(w, shell_test::fileRow(w, key)).center();
    }
    static QTreeWidgetItem* node(const frmMain& w, const char* text) {
        for (QTreeWidgetItem* item :
             w.tvw1()->findItems(QString::fromLatin1(text), Qt::MatchExactly | Qt::MatchRecursive))
            return item;
        return nullptr;
    }
    static void typePasswords(frmMain& w, const char* first, const char* second) {
        shell_test::type(&w, "txtPassword1", QString::fromLatin1(first));
        shell_test::type(&w, "txtPassword2", QString::fromLatin1(second));
    }
    // Locks letter.txt through the window with the password "pw".
    void lockLetter(frmMain& w) {
        shell_test::setFileCheck(w, shell_test::fileRow(w, "letter.txt"), Qt::Checked);
        typePasswords(w, "pw", "pw");
        w.button(QStringLiteral("cmdLock"))->click();
        ASSERT_TRUE(sandbox.exists(kLetterLocked)) << (prompt.boxes.empty() ? "" : prompt.last().text);
        prompt.boxes.clear();
    }
};

TEST_F(PasswordsAndChoiceTest, EmptyBoxesLockNothingAndSaySo) {
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear Sam");
    sandbox.makeFolder("C:\\Docs\\Box");
    auto w = openDocs();

    // Lock Files with both boxes empty: refused before any file is touched.
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, "letter.txt"), Qt::Checked);
    w->button(QStringLiteral("cmdLock"))->click();
    ASSERT_EQ(prompt.texts(), std::vector<std::string>{"Please type a password."});
    EXPECT_EQ(prompt.last().icon, platform::Icon::Exclamation);
    EXPECT_EQ(prompt.last().title, "Tessaly");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\letter.txt"), "Dear Sam");
    EXPECT_EQ(w->lockingPort().progressWindow(), nullptr);

    // Lock Folder and Lock Folder and Files from the tree's menu: refused before the question.
    ASSERT_NE(node(*w, "Docs"), nullptr);
    w->browser().tvw1_NodeClick(node(*w, "Docs"), false);
    QTreeWidgetItem* box = node(*w, "Box");
    ASSERT_NE(box, nullptr);
    w->tvw1()->setCurrentItem(box);
    w->browser().tvw1_NodeClick(box, false);
    for (const char* command : {"mLockFolder", "mLockFolderFiles"}) {
        prompt.boxes.clear();
        w->action(QString::fromLatin1(command))->trigger();
        EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Please type a password."}) << command;
        EXPECT_TRUE(sandbox.exists("C:\\Docs\\Box")) << command;
    }
}

TEST_F(PasswordsAndChoiceTest, TheApplicationPasswordIsNeverChangedToNothing) {
    core::WriteAppPassword("first");
    auto w = openDocs();
    w->action(QStringLiteral("mOptionsPreferences"))->trigger();
    auto* options = w->findChild<frmOptions*>();
    ASSERT_NE(options, nullptr);
    options->tbsOptions()->setCurrentIndex(1);
    shell_test::type(options, "txtOldPass", QStringLiteral("first"));
    shell_test::type(options, "txtNewPass", QString());
    shell_test::type(options, "txtNewConfirm", QString());
    shell_test::click(options, "cmdChange");
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Please type a password."});
    EXPECT_TRUE(core::IsPasswordSet());
    EXPECT_TRUE(core::CheckAppPassword("first"));
    options->close();
}

TEST_F(PasswordsAndChoiceTest, WithNothingTickedTheSelectedRowsAreLockedAndReturnInTheConfirmationLocks) {
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear Sam");
    sandbox.writeFile("C:\\Docs\\note.txt", "Note");
    sandbox.writeFile("C:\\Docs\\other.txt", "Other");
    auto w = openDocs();
    QTreeView* list = w->lvwFiles();

    // Two rows picked with the mouse (Ctrl for the second), none ticked: Lock takes those two.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centreOf(*w, "letter.txt"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, centreOf(*w, "note.txt"));
    ASSERT_EQ(shell_test::fileCheck(*w, shell_test::fileRow(*w, "letter.txt")), Qt::Unchecked);
    typePasswords(*w, "pw", "pw");
    // Return in the confirmation box runs Lock.
    QTest::keyClick(w->txtPassword2(), Qt::Key_Return);
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.last().text;
    EXPECT_TRUE(sandbox.exists(kLetterLocked));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\letter.txt"));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\note.txt"));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\other.txt"), "Other");
    EXPECT_TRUE(w->txtPassword1()->text().isEmpty());

    // A ticked row wins over the selection.
    list->clearSelection();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centreOf(*w, "other.txt"));
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, kLetterKey), Qt::Checked);
    shell_test::type(w.get(), "txtPassword1", QStringLiteral("pw"));
    w->button(QStringLiteral("cmdUnlock"))->click();
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\letter.txt"), "Dear Sam");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\other.txt"), "Other");
}

TEST_F(PasswordsAndChoiceTest, ADoubleClickWithEmptyBoxesAsksForTheFilesPassword) {
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear Sam");
    testing_support::OpenerStub opener(sandbox);
    auto w = openDocs();
    lockLetter(*w);
    QTreeView* list = w->lvwFiles();
    const auto doubleClick = [&] {
        const QModelIndex locked = row(*w, kLetterKey);
        ASSERT_TRUE(locked.isValid());
        list->setCurrentIndex(locked);
        emit list->doubleClicked(locked);
    };

    // Cancel in the password window: nothing is unlocked, nothing opened.
    QString asked;
    shell_test::whenModal([&](QWidget* modal) {
        asked = modal->objectName();
        shell_test::click(modal, "cmdCancel");
    });
    doubleClick();
    EXPECT_EQ(asked, QStringLiteral("frmFilePassword"));
    EXPECT_TRUE(sandbox.exists(kLetterLocked));
    EXPECT_EQ(prompt.boxes.size(), 1u); // the question only

    // The file's password typed there: unlocked and opened.
    QString label;
    shell_test::whenModal([&](QWidget* modal) {
        label = modal->findChild<QLabel*>(QStringLiteral("lblFile"))->text();
        auto* box = modal->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        EXPECT_EQ(modal->findChild<QLabel*>(QStringLiteral("lblPassword"))->buddy(), box);
        shell_test::type(modal, "txtPassword", QStringLiteral("pw"));
        shell_test::click(modal, "cmdOK");
    });
    doubleClick();
    EXPECT_EQ(label, QStringLiteral("Type the password of 'C:\\Docs\\letter.txt' to unlock and open it."));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\letter.txt"), "Dear Sam");
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{sandbox.host("C:\\Docs\\letter.txt")});
}

TEST_F(PasswordsAndChoiceTest, ADoubleClickUsesATypedPasswordAndEmptiesTheBoxesAfter) {
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear Sam");
    testing_support::OpenerStub opener(sandbox);
    auto w = openDocs();
    lockLetter(*w);
    typePasswords(*w, "pw", "pw");
    const QModelIndex locked = row(*w, kLetterKey);
    w->lvwFiles()->setCurrentIndex(locked);
    // A password window, should one come, is noted and cancelled.
    bool windowShown = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&windowShown] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            windowShown = true;
            modal->reject();
        }
    });
    watch.start();
    emit w->lvwFiles()->doubleClicked(locked);
    watch.stop();
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(prompt.texts().size(), 1u); // the question only
    EXPECT_FALSE(sandbox.exists(kLetterLocked));
    EXPECT_EQ(opener.calls(1).size(), 1u);
    EXPECT_TRUE(w->txtPassword1()->text().isEmpty());
    EXPECT_TRUE(w->txtPassword2()->text().isEmpty());
}

} // namespace
