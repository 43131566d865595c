// The file list of the real main window: its menu runs the commands of the buttons on the row under
// the mouse (or on the ticked rows, which the window then names), Properties tells about a file,
// dot-files show only with "Show Hidden Files", rows carry their type's picture, and a command's line
// in the status bar goes when another folder is shown.

#include "ShellTestSupport.h"
#include "support/OpenerStub.h"
#include "support/ScopedEnv.h"

#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "shredder/ShredderPage.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

class FileListMenuTest : public shell_test::ShellTest {
protected:
    std::unique_ptr<frmMain> windowAt(const std::string& folder) {
        auto w = shownWindow();
        w->browser().setCurrentFolder(folder);
        return w;
    }

    // The list's menu over the row of `key`, as the right button asks for it.
    static QMenu* menuOver(frmMain& w, const std::string& key) {
        const int row = shell_test::fileRow(w, key);
        EXPECT_GE(row, 0) << key;
        const QPoint at = shell_test::fileRowRect(w, row).center();
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, w.lvwFiles()->viewport()->mapToGlobal(at));
        QApplication::sendEvent(w.lvwFiles()->viewport(), &request);
        QMenu* menu = w.browser().mnuFiles();
        EXPECT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000));
        return menu;
    }

    // A click on an item of the open menu.
    static void choose(frmMain& w, QMenu* menu, const char* item) {
        QAction* a = w.action(QString::fromLatin1(item));
        ASSERT_TRUE(menu->actions().contains(a)) << item;
        ASSERT_TRUE(a->isEnabled()) << item;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    }

    static void typePasswords(frmMain& w, const char* password) {
        shell_test::type(&w, "txtPassword1", QString::fromLatin1(password));
        shell_test::type(&w, "txtPassword2", QString::fromLatin1(password));
    }

    static std::set<std::string> keys(const frmMain& w) {
        std::set<std::string> shown;
        for (int i = 0; i < shell_test::fileCount(w); ++i)
            shown.insert(shell_test::fileKey(w, i));
        return shown;
    }

    static std::string selectedKeys(const frmMain& w) {
        std::string out;
        for (int r : w.browser().selectedFileRows())
            out += shell_test::fileKey(w, r) + ";";
        return out;
    }

    static std::string lockedKey(const std::string& name) { return TransformName(name) + ".TSL"; }

    void checkProperties();
};

TEST_F(FileListMenuTest, TheMenuOverARowRunsTheButtonsCommandsOnThatRow) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        sandbox.writeFile(std::string("C:\\F\\") + name, name);
    auto w = windowAt("C:\\F");
    w->browser().setCurrentFileRow(shell_test::fileRow(*w, "a.txt"));

    QMenu* menu = menuOver(*w, "b.txt");
    QStringList captions;
    for (QAction* a : menu->actions())
        if (a->isVisible() && !a->isSeparator())
            captions << a->text();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("&Open"), QStringLiteral("&Lock"), QStringLiteral("&Unlock"),
                                     QStringLiteral("&Shred"), QStringLiteral("&Mail"), QStringLiteral("P&roperties"),
                                     QStringLiteral("Show &Hidden Files")}));
    // The row pointed at is the one the commands take.
    EXPECT_EQ(selectedKeys(*w), "b.txt;");
    typePasswords(*w, "pw");
    choose(*w, menu, "mFilesLock");
    EXPECT_EQ(keys(*w), (std::set<std::string>{"a.txt", lockedKey("b.txt"), "c.txt"}));
    EXPECT_EQ(w->sbrMain()->currentMessage(), QStringLiteral("1 file locked."));

    typePasswords(*w, "pw");
    choose(*w, menuOver(*w, lockedKey("b.txt")), "mFilesUnlock");
    EXPECT_EQ(keys(*w), (std::set<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(sandbox.readFile("C:\\F\\b.txt"), "b.txt");

    // Open hands a plain file to its default application.
    {
        testing_support::OpenerStub opener(sandbox);
        choose(*w, menuOver(*w, "a.txt"), "mFilesOpen");
        EXPECT_EQ(opener.calls(1), std::vector<std::string>{sandbox.host("C:\\F\\a.txt")});
    }

    // Mail is the button's command: the same row gets the same answer either way.
    choose(*w, menuOver(*w, "c.txt"), "mFilesMail");
    ASSERT_FALSE(prompt.boxes.empty());
    const std::string mailAnswer = prompt.last().text;
    shell_test::click(w.get(), "cmdSendEmail");
    EXPECT_EQ(prompt.last().text, mailAnswer);

    // Shred puts the row on the shredder's list and shows it there; nothing is destroyed before the
    // shredder's own Shred is pressed.
    choose(*w, menuOver(*w, "c.txt"), "mFilesShred");
    auto* shredder = w->fraMain(4)->findChild<shredder::ShredderPage*>();
    ASSERT_NE(shredder, nullptr);
    EXPECT_EQ(shredder->pendingList(), std::vector<std::string>{"C:\\F\\c.txt"});
    EXPECT_EQ(w->tabMain()->currentWidget(), w->fraMain(4));
    EXPECT_TRUE(sandbox.exists("C:\\F\\c.txt"));
}

TEST_F(FileListMenuTest, TickedRowsAreWhatTheCommandsTakeAndTheWindowSaysSo) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        sandbox.writeFile(std::string("C:\\F\\") + name, name);
    auto w = windowAt("C:\\F");
    EXPECT_EQ(w->panelText(1), QString());
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, "a.txt"), Qt::Checked);
    EXPECT_EQ(w->panelText(1), QStringLiteral("1 ticked: commands act on the ticked file"));
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, "c.txt"), Qt::Checked);
    const QString rule = QStringLiteral("2 ticked: commands act on the ticked files");
    EXPECT_EQ(w->panelText(1), rule);

    // The menu over another row says it too, above the commands it concerns.
    QMenu* menu = menuOver(*w, "b.txt");
    QAction* note = w->action(QStringLiteral("mFilesTicked"));
    EXPECT_TRUE(note->isVisible());
    EXPECT_FALSE(note->isEnabled());
    EXPECT_EQ(note->text(), rule);
    EXPECT_EQ(menu->actions().indexOf(note) + 1, menu->actions().indexOf(w->action(QStringLiteral("mFilesLock"))));
    typePasswords(*w, "pw");
    choose(*w, menu, "mFilesLock");
    EXPECT_EQ(keys(*w), (std::set<std::string>{lockedKey("a.txt"), "b.txt", lockedKey("c.txt")}));
    // The list was read again: no row is ticked, and nothing is said.
    EXPECT_EQ(w->panelText(1), QString());
    menu = menuOver(*w, "b.txt");
    EXPECT_FALSE(w->action(QStringLiteral("mFilesTicked"))->isVisible());
    menu->close();
}

TEST_F(FileListMenuTest, DotFilesAreListedOnlyWhileHiddenFilesAreShown) {
    for (const char* name : {".viminfo", ".bash_history", "notes.txt"})
        sandbox.writeFile(std::string("C:\\F\\") + name, name);
    auto w = windowAt("C:\\F");
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get())); // window shortcuts reach the active window only
    EXPECT_EQ(keys(*w), std::set<std::string>{"notes.txt"});
    EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: 1"));

    QTest::keyClick(w->lvwFiles(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(w->action(QStringLiteral("mShowHidden"))->isChecked());
    EXPECT_EQ(keys(*w), (std::set<std::string>{".bash_history", ".viminfo", "notes.txt"}));
    EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: 3"));

    // A ticked dot-file that goes out of sight is no longer ticked: no command takes a file unseen.
    shell_test::setFileCheck(*w, shell_test::fileRow(*w, ".viminfo"), Qt::Checked);
    QTest::keyClick(w->lvwFiles(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_FALSE(w->action(QStringLiteral("mShowHidden"))->isChecked());
    EXPECT_EQ(keys(*w), std::set<std::string>{"notes.txt"});
    EXPECT_EQ(w->panelText(1), QString());
}

// The times in the box are local: the test reads them in UTC.
TEST_F(FileListMenuTest, PropertiesTellAboutAPlainAndALockedFile) {
    {
        testing_support::ScopedEnv utc("TZ", "UTC");
        ::tzset();
        checkProperties();
    }
    ::tzset(); // the zone as it was
}

void FileListMenuTest::checkProperties() {
    const std::string plain = sandbox.writeFile("C:\\F\\report.txt", std::string(1500, 'r'));
    const timespec times[2] = {{978307200, 0}, {1000000000, 0}}; // accessed 2001-01-01, modified 2001-09-09
    ASSERT_EQ(::utimensat(AT_FDCWD, sandbox.host(plain).c_str(), times, 0), 0);
    ASSERT_EQ(::chmod(sandbox.host(plain).c_str(), 0640), 0);
    auto w = windowAt("C:\\F");

    choose(*w, menuOver(*w, "report.txt"), "mFilesProperties");
    ASSERT_FALSE(prompt.boxes.empty());
    EXPECT_EQ(prompt.last().title, "Properties");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Information);
    EXPECT_EQ(prompt.last().text,
              "Name: report.txt\r\nFolder: C:\\F\r\nType: TXT file\r\nSize: " + FormatByteSize(1500) +
                  " (1500 bytes)\r\nModified: 2001-09-09 01:46:40\r\nAccessed: 2001-01-01 "
                  "00:00:00\r\nPermissions: rw-r----- (0640)\r\nAttributes: None");

    // Locked, the file still shows its own dates; the lock shows in its bits, attributes and format.
    typePasswords(*w, "pw");
    choose(*w, menuOver(*w, "report.txt"), "mFilesLock");
    const std::string locked = lockedKey("report.txt");
    struct stat st {};
    ASSERT_EQ(::stat(sandbox.host("C:\\F\\" + locked).c_str(), &st), 0);
    choose(*w, menuOver(*w, locked), "mFilesProperties");
    EXPECT_EQ(prompt.last().text, "Name: report.txt\r\nFolder: C:\\F\r\nType: TXT file\r\nSize: " +
                                      FormatByteSize(st.st_size) + " (" + std::to_string(st.st_size) +
                                      " bytes)\r\nModified: 2001-09-09 01:46:40\r\nAccessed: 2001-01-01 "
                                      "00:00:00\r\nPermissions: r--r----- (0440)\r\nAttributes: Read-only, "
                                      "Hidden\r\nLocked: small-file format (.TSL), on disk as \"" +
                                      locked + "\"");
}

TEST_F(FileListMenuTest, RowsShowThePictureOfTheirTypeFromTheIconTheme) {
    // A small theme of the test's own: pictures for plain text, PNG and the generic text kind.
    const std::string themes = sandbox.root() + "/icons";
    const std::string folder = themes + "/tessaly-test/16x16/mimetypes";
    std::filesystem::create_directories(folder);
    std::ofstream(themes + "/tessaly-test/index.theme")
        << "[Icon Theme]\nName=tessaly-test\nDirectories=16x16/mimetypes\n\n[16x16/mimetypes]\nSize=16\nType=Fixed\n";
    for (const char* name : {"text-plain", "image-png", "text-x-generic"}) {
        QImage picture(16, 16, QImage::Format_ARGB32);
        picture.fill(Qt::darkBlue);
        ASSERT_TRUE(picture.save(QString::fromStdString(folder + "/" + name + ".png")));
    }
    const QStringList savedPaths = QIcon::themeSearchPaths();
    const QString savedTheme = QIcon::themeName();
    QIcon::setThemeSearchPaths({QString::fromStdString(themes)});
    QIcon::setThemeName(QStringLiteral("tessaly-test"));

    struct Case {
        const char* name;
        const char* picture; // the theme's picture; "" for the style's plain file (no type known)
    };
    const std::vector<Case> cases = {{"notes.txt", "text-plain"},
                                     {"photo.png", "image-png"},
                                     {"table.csv", "text-x-generic"}, // no picture of its own: its kind's
                                     {"data.qqzz", ""}};
    for (const Case& c : cases)
        sandbox.writeFile(std::string("C:\\F\\") + c.name, "x");
    auto w = windowAt("C:\\F");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QIcon icon =
            shell_test::fileIndex(*w, shell_test::fileRow(*w, c.name)).data(Qt::DecorationRole).value<QIcon>();
        EXPECT_FALSE(icon.isNull());
        // The style's plain file is named after the theme's picture for it, when it has one.
        const QString expected = *c.picture ? QString::fromLatin1(c.picture)
                                            : QApplication::style()->standardIcon(QStyle::SP_FileIcon).name();
        EXPECT_EQ(icon.name(), expected);
    }
    QIcon::setThemeName(savedTheme);
    QIcon::setThemeSearchPaths(savedPaths);
}

TEST_F(FileListMenuTest, ACommandsLineInTheStatusBarGoesWhenAnotherFolderIsShown) {
    sandbox.writeFile("C:\\F\\a.txt", "a");
    sandbox.makeFolder("C:\\G");
    auto w = windowAt("C:\\F");
    typePasswords(*w, "pw");
    choose(*w, menuOver(*w, "a.txt"), "mFilesLock");
    EXPECT_EQ(w->sbrMain()->currentMessage(), QStringLiteral("1 file locked."));
    // The same folder read again keeps it; another folder does not.
    w->browser().refreshBrowser();
    EXPECT_EQ(w->sbrMain()->currentMessage(), QStringLiteral("1 file locked."));
    w->browser().setCurrentFolder("C:\\G");
    EXPECT_EQ(w->sbrMain()->currentMessage(), QString());
}

} // namespace
