// The browser pane: drive list, folder tree and file list on real files in the sandbox drive.

#include "ShellTestSupport.h"

#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "shell/FileListBox.h"
#include "shell/FileListModel.h"
#include "shell/frmMain.h"

#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSignalSpy>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>

namespace {

constexpr const char* kClassId = "{645FF040-5081-101B-9F08-00AA002F954E}";

class BrowserPaneTest : public shell_test::ShellTest {
protected:
    // A loaded main window looking at the given folder.
    std::unique_ptr<frmMain> open(const std::string& folder = "c:\\") {
        auto w = std::make_unique<frmMain>(prompt);
        w->Form_Load();
        w->browser().setCurrentFolder(folder);
        return w;
    }

    struct Row {
        QString text, size, type;
        bool lock;
    };
    static std::map<std::string, Row> rows(const frmMain& w) {
        std::map<std::string, Row> out;
        for (int i = 0; i < shell_test::fileCount(w); ++i) {
            const QModelIndex it = shell_test::fileIndex(w, i);
            out[shell_test::fileKey(w, i)] = {
                shell_test::fileText(w, i, 0), shell_test::fileText(w, i, 1), shell_test::fileText(w, i, 2),
                it.data(shell::BrowserPane::SmallIconRole).toString() == QStringLiteral("lock") &&
                    !it.data(Qt::DecorationRole).value<QIcon>().isNull()};
            EXPECT_EQ(shell_test::fileCheck(w, i), Qt::Unchecked);
        }
        return out;
    }

    static QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& text) {
        for (int i = 0; i < node->childCount(); ++i)
            if (node->child(i)->text(0) == text)
                return node->child(i);
        return nullptr;
    }
};

TEST_F(BrowserPaneTest, RowsShowPlainAndLockedFilesWithRestoredNames) {
    const std::string secret = "[Secret]" + std::string(40, 'x');
    struct Case {
        std::string name, content, text, type;
        bool lock;
    };
    const std::vector<Case> cases = {
        {"plain.txt", "hello", "plain.txt", "TXT file", false},
        {TransformName("report.doc") + ".TSL", secret, "report.doc", "DOC file", true},
        {TransformName("movie.avi") + ".tsw", secret, "movie.avi", "AVI file", true},
        // Without the marker a file is not locked, whatever its name: it shows as it is.
        {TransformName("notes.txt") + ".Tsl", "[secret] lower case marker", TransformName("notes.txt") + ".Tsl",
         "TSL file", false},
        {TransformName("tiny.pdf") + ".TSW", "[Secr", TransformName("tiny.pdf") + ".TSW", "TSW file", false},
        {"noext", "abc", "noext", "File", false},
    };
    for (const Case& c : cases)
        sandbox.writeFile("C:\\F\\" + c.name, c.content);
    sandbox.writeFile("C:\\F\\desktop.ini", "[.ShellClassInfo]\r\n");

    auto w = open("C:\\F");
    // The count is of the rows shown: desktop.ini is neither listed nor counted.
    EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: %1").arg(cases.size()));
    const auto shown = rows(*w);
    EXPECT_EQ(shown.size(), cases.size());
    EXPECT_EQ(shown.count("desktop.ini"), 0u);
    for (const Case& c : cases) {
        ASSERT_EQ(shown.count(c.name), 1u) << c.name;
        const Row& r = shown.at(c.name);
        EXPECT_EQ(r.text, QString::fromStdString(c.text)) << c.name;
        EXPECT_EQ(r.type, QString::fromStdString(c.type)) << c.name;
        EXPECT_EQ(r.lock, c.lock) << c.name;
        EXPECT_EQ(r.size, QString::fromStdString(FormatByteSize(static_cast<std::int64_t>(c.content.size()))));
    }
    EXPECT_FALSE(w->browser().isListGreen());
}

TEST_F(BrowserPaneTest, HiddenSystemAndReadOnlyFilesAreListed) {
    sandbox.writeFile("C:\\F\\hidden.txt", "a");
    sandbox.writeFile("C:\\F\\" + TransformName("locked.doc") + ".TSL", "[Secret]abcdef");
    platform::setAttributes("C:\\F\\hidden.txt", platform::kAttrHidden | platform::kAttrSystem);
    platform::setAttributes("C:\\F\\" + TransformName("locked.doc") + ".TSL",
                            platform::kAttrReadOnly | platform::kAttrHidden);
    auto w = open("C:\\F");
    const auto shown = rows(*w);
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.count("hidden.txt"), 1u);
    EXPECT_TRUE(shown.at(TransformName("locked.doc") + ".TSL").lock);
    EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: 2"));
}

TEST_F(BrowserPaneTest, ListTurnsGreenInsideALockedFolderAndWhiteAgainOutside) {
    sandbox.writeFile("C:\\Locked\\desktop.ini", std::string("[.ShellClassInfo]\r\nCLSID=") + kClassId + "\r\n");
    sandbox.writeFile("C:\\Locked\\a.txt", "a");
    sandbox.writeFile("C:\\Other\\desktop.ini", "[.ShellClassInfo]\r\nIconIndex=3\r\n");
    sandbox.writeFile("C:\\Other\\b.txt", "b");
    auto w = open("C:\\Locked");
    EXPECT_TRUE(w->browser().isListGreen());
    EXPECT_EQ(rows(*w).size(), 1u);
    w->browser().setCurrentFolder("C:\\Other");
    EXPECT_FALSE(w->browser().isListGreen());
    w->browser().setCurrentFolder("C:\\Locked");
    EXPECT_TRUE(w->browser().isListGreen());
    w->browser().setCurrentFolder("c:\\");
    EXPECT_FALSE(w->browser().isListGreen());
}

TEST_F(BrowserPaneTest, AFileThatCannotBeReadSkipsOnlyItself) {
    sandbox.writeFile("C:\\F\\a.txt", "aaa");
    sandbox.writeFile("C:\\F\\c.txt", "ccccc");
    // A locked file's name whose data is gone: a link to nothing.
    const std::string broken = TransformName("gone.doc") + ".TSL";
    std::filesystem::create_symlink(sandbox.root() + "/nowhere", sandbox.host("C:\\F\\" + broken));
    auto w = open("C:\\F");
    const auto shown = rows(*w);
    ASSERT_EQ(shown.count("a.txt"), 1u);
    ASSERT_EQ(shown.count("c.txt"), 1u);
    EXPECT_EQ(shown.at("a.txt").size, QString::fromStdString(FormatByteSize(3)));
    EXPECT_EQ(shown.at("c.txt").size, QString::fromStdString(FormatByteSize(5)));
    ASSERT_EQ(shown.count(broken), 1u);                               // what could be filled is kept
    EXPECT_EQ(shown.at(broken).text, QString::fromStdString(broken)); // no content tells it locked
    EXPECT_FALSE(shown.at(broken).lock);
    EXPECT_TRUE(shown.at(broken).size.isEmpty());
    EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: 3"));
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(BrowserPaneTest, TreeShowsHiddenSystemAndLockedFoldersButNoRecycleFolders) {
    sandbox.makeFolder("C:\\Plain");
    sandbox.makeFolder("C:\\Secretive");
    platform::setAttributes("C:\\Secretive", platform::kAttrHidden | platform::kAttrSystem);
    const std::string lockedName = TransformName("Private") + ".TSL";
    sandbox.makeFolder("C:\\" + lockedName);
    platform::setAttributes("C:\\" + lockedName, platform::kAttrHidden | platform::kAttrSystem);
    for (const char* skipped : {"recycled", "RECYCLER", "System Volume Information", "Recycled"})
        sandbox.makeFolder(std::string("C:\\Sub\\") + skipped);
    sandbox.makeFolder("C:\\Sub\\Kept");

    auto w = open();
    QTreeWidgetItem* root = w->tvw1()->topLevelItem(0);
    ASSERT_NE(child(root, QStringLiteral("Plain")), nullptr);
    ASSERT_NE(child(root, QStringLiteral("Secretive")), nullptr);
    QTreeWidgetItem* locked = child(root, QStringLiteral("Private"));
    ASSERT_NE(locked, nullptr);
    EXPECT_EQ(shell::BrowserPane::nodeKey(locked), "C:\\" + lockedName);
    EXPECT_EQ(child(root, QString::fromStdString(lockedName)), nullptr);

    QTreeWidgetItem* sub = child(root, QStringLiteral("Sub"));
    ASSERT_NE(sub, nullptr);
    w->browser().tvw1_NodeClick(sub, false);
    ASSERT_EQ(sub->childCount(), 1);
    EXPECT_EQ(sub->child(0)->text(0), QStringLiteral("Kept"));
    EXPECT_EQ(shell::BrowserPane::nodeKey(sub->child(0)), "C:\\Sub\\Kept");
}

TEST_F(BrowserPaneTest, PickingAFolderFoldsItsSiblingsAndFillsItOnce) {
    sandbox.makeFolder("C:\\A\\A1");
    sandbox.makeFolder("C:\\A\\A2");
    sandbox.makeFolder("C:\\B\\B1");
    sandbox.writeFile("C:\\B\\file.txt", "x");
    auto w = open();
    QTreeWidgetItem* root = w->tvw1()->topLevelItem(0);
    QTreeWidgetItem* a = child(root, QStringLiteral("A"));
    QTreeWidgetItem* b = child(root, QStringLiteral("B"));
    ASSERT_TRUE(a && b);

    w->browser().tvw1_NodeClick(a, false);
    EXPECT_EQ(a->childCount(), 2);
    EXPECT_TRUE(a->isExpanded());
    EXPECT_EQ(w->browser().currentFolder(), "C:\\A");
    EXPECT_EQ(w->panelText(2), QStringLiteral("C:\\A"));

    w->browser().tvw1_NodeClick(b, true);
    EXPECT_FALSE(a->isExpanded());
    EXPECT_TRUE(b->isExpanded());
    EXPECT_EQ(w->browser().currentFolder(), "C:\\B");
    EXPECT_EQ(shell_test::fileCount(*w), 1);
    w->browser().tvw1_NodeClick(b, false);
    EXPECT_EQ(b->childCount(), 1); // not added a second time
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(BrowserPaneTest, TheKeyboardAloneBrowsesTheTreeAndOpensARow) {
    sandbox.writeFile("C:\\A\\a.txt", "a");
    sandbox.writeFile("C:\\B\\" + TransformName("c.txt") + ".TSL", "[Secret]");
    auto w = open();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTreeWidget* tree = w->tvw1();
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0)); // from the drive root down

    QTest::keyClick(tree, Qt::Key_Down);             // "A", the first folder
    EXPECT_EQ(w->browser().currentFolder(), "c:\\"); // moving alone picks nothing
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(w->browser().currentFolder(), "C:\\A");
    EXPECT_EQ(w->panelText(2), QStringLiteral("C:\\A"));
    QTest::keyClick(tree, Qt::Key_Down);
    QTest::keyClick(tree, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(w->browser().currentFolder(), "C:\\B");
    ASSERT_EQ(shell_test::fileCount(*w), 1);

    // Return on a row of the list asks to unlock and open it, as a double click does.
    QTreeView* list = w->lvwFiles();
    list->setFocus();
    list->setCurrentIndex(shell_test::fileIndex(*w, 0));
    prompt.answer(platform::Answer::No);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().title, "Unlock & Open Confirmation");
    EXPECT_EQ(prompt.last().text.substr(0, 21), "The file 'C:\\B\\c.txt'");
}

TEST_F(BrowserPaneTest, PickingAVanishedFolderSaysSoAndRebuildsTheTree) {
    sandbox.makeFolder("C:\\Gone");
    sandbox.makeFolder("C:\\Stays");
    auto w = open();
    QTreeWidgetItem* gone = child(w->tvw1()->topLevelItem(0), QStringLiteral("Gone"));
    ASSERT_NE(gone, nullptr);
    std::filesystem::remove(sandbox.host("C:\\Gone"));
    w->browser().tvw1_NodeClick(gone, false);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Path Not found. Please try again");
    EXPECT_EQ(prompt.last().icon, platform::Icon::None);
    EXPECT_EQ(w->panelText(2), QString());
    QTreeWidgetItem* root = w->tvw1()->topLevelItem(0);
    EXPECT_EQ(child(root, QStringLiteral("Gone")), nullptr);
    EXPECT_NE(child(root, QStringLiteral("Stays")), nullptr);
    EXPECT_EQ(w->browser().currentFolder(), "c:\\");
}

TEST_F(BrowserPaneTest, RefusedDriveKindsShowTheirMessageAndReturnToC) {
    struct Case {
        int kind;
        const char* message;
    };
    const Case cases[] = {
        {0, "The drive you selected is an unidentified drive and you cannot lock files and folders on this drive"},
        {1, "The drive you selected is currently not Present so you cannot lock files and folders on this drive"},
        {6, "The drive you selected is a RAMDisk drive and you cannot lock files and folders on this drive"},
    };
    const std::string dHost = sandbox.root() + "/home"; // any existing folder
    for (const Case& c : cases) {
        platform::registry().setString(platform::RegRoot::CurrentUser, settings::kDrivesKey, "D", dHost);
        platform::registry().setDword(platform::RegRoot::CurrentUser, settings::kDrivesKey, "D.Kind",
                                      static_cast<std::uint32_t>(c.kind));
        platform::reloadDrives();
        prompt.boxes.clear();
        auto w = open();
        const int d = w->drvDrives()->findData(QStringLiteral("D"));
        ASSERT_GE(d, 0);
        EXPECT_EQ(w->drvDrives()->itemText(d), QStringLiteral("d: [%1]").arg(QString::fromStdString(dHost)));
        w->drvDrives()->setCurrentIndex(d);
        ASSERT_EQ(prompt.boxes.size(), 1u) << c.kind;
        EXPECT_EQ(prompt.last().text, c.message);
        EXPECT_EQ(prompt.last().icon, platform::Icon::Critical);
        EXPECT_EQ(prompt.last().title, "Tessaly");
        EXPECT_EQ(w->drvDrives()->currentData().toString(), QStringLiteral("C"));
        EXPECT_EQ(shell::BrowserPane::nodeKey(w->tvw1()->topLevelItem(0)), "C:\\");
        EXPECT_EQ(w->browser().currentFolder(), "c:\\");
    }
}

TEST_F(BrowserPaneTest, AcceptedDriveGetsItsOwnTree) {
    const std::string dHost = sandbox.root() + "/home";
    std::filesystem::create_directories(dHost + "/Music");
    platform::registry().setString(platform::RegRoot::CurrentUser, settings::kDrivesKey, "D", dHost);
    platform::registry().setDword(platform::RegRoot::CurrentUser, settings::kDrivesKey, "D.Kind", 3);
    platform::reloadDrives();
    auto w = open();
    w->drvDrives()->setCurrentIndex(w->drvDrives()->findData(QStringLiteral("D")));
    EXPECT_TRUE(prompt.boxes.empty());
    ASSERT_EQ(w->tvw1()->topLevelItemCount(), 1);
    QTreeWidgetItem* root = w->tvw1()->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("D:\\"));
    EXPECT_NE(child(root, QStringLiteral("Music")), nullptr);
    EXPECT_EQ(w->browser().currentFolder(), "d:\\");
}

TEST_F(BrowserPaneTest, RightClickPicksTheFolderUnderTheMouseBeforeTheMenu) {
    sandbox.makeFolder("C:\\Target");
    auto w = open();
    w->resize(900, 600);
    w->show();
    QTreeWidgetItem* target = child(w->tvw1()->topLevelItem(0), QStringLiteral("Target"));
    ASSERT_NE(target, nullptr);
    const QPoint at = w->tvw1()->visualItemRect(target).center();
    emit w->tvw1()->customContextMenuRequested(at);
    EXPECT_EQ(w->browser().selectedFolderKey(), "C:\\Target");
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Target");
    EXPECT_TRUE(w->mnuFolder()->isVisible());
    w->mnuFolder()->hide();
    prompt.answer(platform::Answer::No);
}

} // namespace

namespace {

std::vector<std::string> childTexts(const QTreeWidgetItem* node) {
    std::vector<std::string> texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts.push_back(node->child(i)->text(0).toStdString());
    return texts;
}

std::vector<std::string> columnTexts(const QTreeView* list, int column) {
    std::vector<std::string> texts;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        texts.push_back(list->model()->index(i, column).data().toString().toStdString());
    return texts;
}

// Contrast ratio of two colours as the accessibility guidelines define it (1 to 21).
double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(BrowserPaneTest, TreeAndListShowNamesInNaturalOrderWithoutCase) {
    // Made in an order the directory keeps in no particular way.
    for (const char* folder : {"dir10", "Dir2", "dir1", "beta", "Alpha"})
        sandbox.makeFolder(std::string("C:\\Sort\\") + folder);
    sandbox.makeFolder("C:\\Sort\\" + TransformName("Charlie") + ".TSL"); // shown as "Charlie"
    for (const char* file : {"file10.txt", "File2.txt", "file1.txt", "b.txt", "A.txt", "file02.txt"})
        sandbox.writeFile(std::string("C:\\Sort\\") + file, "x");
    // A locked file sorts by the name it shows.
    sandbox.writeFile("C:\\Sort\\" + TransformName("file3.doc") + ".TSL", "[Secret]");

    auto w = open();
    QTreeWidgetItem* sort = child(w->tvw1()->topLevelItem(0), QStringLiteral("Sort"));
    ASSERT_NE(sort, nullptr);
    w->browser().tvw1_NodeClick(sort, false);
    EXPECT_EQ(childTexts(sort), (std::vector<std::string>{"Alpha", "beta", "Charlie", "dir1", "Dir2", "dir10"}));
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), (std::vector<std::string>{"A.txt", "b.txt", "file1.txt", "File2.txt",
                                                                       "file02.txt", "file3.doc", "file10.txt"}));
    // The tree's root lists in the same order.
    const std::vector<std::string> top = childTexts(w->tvw1()->topLevelItem(0));
    EXPECT_TRUE(std::is_sorted(top.begin(), top.end(), [](const std::string& a, const std::string& b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
    }));
}

TEST_F(BrowserPaneTest, HeaderClicksSortByColumnAndASecondClickReverses) {
    sandbox.writeFile("C:\\S\\a.txt", std::string(1200, 'a')); // "1.17 KB"
    sandbox.writeFile("C:\\S\\b.doc", std::string(900, 'b'));  // "900 bytes"
    sandbox.writeFile("C:\\S\\c.txt", std::string(30, 'c'));   // "30 bytes"
    sandbox.writeFile("C:\\S\\d.bmp", std::string(20000, 'd'));
    auto w = open("C:\\S");
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QHeaderView* header = w->lvwFiles()->header();
    auto clickHeader = [&](int section) {
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    const std::vector<std::string> byName = {"a.txt", "b.doc", "c.txt", "d.bmp"};
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), byName);

    clickHeader(1);
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), (std::vector<std::string>{"c.txt", "b.doc", "a.txt", "d.bmp"}));
    clickHeader(1);
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), (std::vector<std::string>{"d.bmp", "a.txt", "b.doc", "c.txt"}));
    clickHeader(2); // by type, ties by name
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), (std::vector<std::string>{"d.bmp", "b.doc", "a.txt", "c.txt"}));
    clickHeader(0);
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), byName);
    clickHeader(0);
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), (std::vector<std::string>{"d.bmp", "c.txt", "b.doc", "a.txt"}));
    // A refill keeps the column and direction the user chose.
    w->browser().filFiles_PathChange();
    EXPECT_EQ(columnTexts(w->lvwFiles(), 0), (std::vector<std::string>{"d.bmp", "c.txt", "b.doc", "a.txt"}));
}

// The strongest contrast between the first row's check box, as the style draws it, and the
// list's background.
double checkBoxContrast(frmMain& w) {
    QTreeView* list = w.lvwFiles();
    const QColor base = list->palette().color(QPalette::Base);
    const QRect cell = shell_test::fileRowRect(w, 0);
    const QImage picture = list->viewport()->grab(QRect(cell.left(), cell.top(), 24, cell.height())).toImage();
    double strongest = 1.0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            strongest = std::max(strongest, contrast(picture.pixelColor(x, y), base));
    return strongest;
}

TEST_F(BrowserPaneTest, ALockedFoldersTintKeepsTheContrastOfLightAndDarkThemes) {
    sandbox.writeFile("C:\\Locked\\desktop.ini", std::string("[.ShellClassInfo]\r\nCLSID=") + kClassId + "\r\n");
    sandbox.writeFile("C:\\Locked\\a.txt", "a");
    sandbox.writeFile("C:\\Plain\\a.txt", "a");
    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Window, QColor(45, 45, 45));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(50, 50, 50));
    for (const QPalette& theme : {saved, dark}) {
        QApplication::setPalette(theme);
        auto w = open("C:\\Plain");
        w->resize(900, 600);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        ASSERT_FALSE(w->browser().isListGreen());
        EXPECT_EQ(w->lvwFiles()->palette().color(QPalette::Base), theme.color(QPalette::Base));
        const double plainText = contrast(theme.color(QPalette::Base), theme.color(QPalette::Text));
        const double plainBox = checkBoxContrast(*w);

        w->browser().setCurrentFolder("C:\\Locked");
        ASSERT_TRUE(w->browser().isListGreen());
        const QPalette shown = w->lvwFiles()->palette();
        const QColor base = shown.color(QPalette::Base);
        EXPECT_GT(base.green(), base.red() + 10) << base.name().toStdString(); // a green tint
        EXPECT_GT(base.green(), base.blue() + 10) << base.name().toStdString();
        EXPECT_EQ(shown.color(QPalette::Text), theme.color(QPalette::Text));
        EXPECT_EQ(shown.color(QPalette::Highlight), theme.color(QPalette::Highlight));
        // Text and check boxes keep (nearly) the contrast the style gives them on its own background.
        EXPECT_GE(contrast(base, shown.color(QPalette::Text)), 0.8 * plainText) << base.name().toStdString();
        EXPECT_GE(checkBoxContrast(*w), 0.8 * plainBox) << base.name().toStdString();
        EXPECT_EQ(w->lvwFiles()->accessibleDescription(), QStringLiteral("Locked folder"));

        w->browser().setCurrentFolder("C:\\Plain");
        EXPECT_FALSE(w->browser().isListGreen());
        EXPECT_EQ(w->lvwFiles()->palette().color(QPalette::Base), theme.color(QPalette::Base));
    }
    QApplication::setPalette(saved);
}

TEST_F(BrowserPaneTest, TabFollowsTheLayoutOfThePane) {
    auto w = open();
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->drvDrives()->setFocus();
    std::vector<std::string> order = {QApplication::focusWidget()->objectName().toStdString()};
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    const std::vector<std::string> expected = {"drvDrives",      "tvw1",         "lvwFiles",  "txtPassword1",
                                               "txtPassword2",   "cmdLock",      "cmdUnlock", "cmdSelectAll",
                                               "cmdDeselectAll", "cmdSendEmail", "cmdExit"};
    EXPECT_EQ(order, expected);

    // What assistive technology hears on the way: the lists by what they hold, the boxes by their labels.
    const std::pair<const char*, const char*> names[] = {{"tvw1", "Folders"},
                                                         {"lvwFiles", "Files"},
                                                         {"txtPassword1", "Password"},
                                                         {"txtPassword2", "Confirm Password"},
                                                         {"cmdLock", "Lock"}};
    for (const auto& [name, heard] : names) {
        QAccessibleInterface* a =
            QAccessible::queryAccessibleInterface(w->findChild<QWidget*>(QString::fromLatin1(name)));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text(QAccessible::Name).toStdString(), heard) << name;
    }
}

} // namespace

namespace {

shell::FileRow madeRow(const std::string& name, std::int64_t bytes, const std::string& type, bool lock = false) {
    return shell::FileRow{name, lock ? "shown " + name : name, lock, std::to_string(bytes) + " bytes", type, bytes};
}

std::vector<std::string> modelKeys(const shell::FileListModel& model) {
    std::vector<std::string> keys;
    for (int i = 0; i < model.rowCount(); ++i)
        keys.push_back(model.index(i, 0).data(shell::FileListModel::KeyRole).toByteArray().toStdString());
    return keys;
}

// The model alone: its order, the roles the window and the commands read, and ticks and the
// selection following their rows when the order changes.
TEST(FileListModelTest, SortsByItsColumnsAndTicksAndSelectionFollowTheirRows) {
    shell_test::app();
    shell::FileListModel model;
    QItemSelectionModel selection(&model);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    // Given in no order: the model shows names in natural order.
    model.setRows({madeRow("file10.txt", 30, "TXT file"), madeRow("File2.txt", 900, "TXT file"),
                   madeRow("b.doc", 1200, "DOC file"), madeRow("a.tsl", 5, "TXT file", true)});
    EXPECT_EQ(resets.size(), 1);
    EXPECT_EQ(modelKeys(model), (std::vector<std::string>{"b.doc", "File2.txt", "file10.txt", "a.tsl"}));
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Type"));

    // The roles, on the locked row and on a plain one.
    const QModelIndex locked = model.index(3, 0);
    EXPECT_EQ(locked.data().toString(), QStringLiteral("shown a.tsl"));
    EXPECT_EQ(locked.data(shell::FileListModel::TextRole).toByteArray(), QByteArray("shown a.tsl"));
    EXPECT_EQ(locked.data(shell::FileListModel::SmallIconRole).toString(), QStringLiteral("lock"));
    EXPECT_FALSE(locked.data(Qt::DecorationRole).value<QIcon>().isNull());
    const QModelIndex plain = model.index(0, 0);
    EXPECT_TRUE(plain.data(shell::FileListModel::SmallIconRole).isNull());
    EXPECT_FALSE(plain.data(Qt::DecorationRole).value<QIcon>().isNull()); // the blank picture
    EXPECT_EQ(model.index(0, 1).data().toString(), QStringLiteral("1200 bytes"));
    EXPECT_EQ(model.index(0, 1).data(shell::FileListModel::BytesRole).toLongLong(), 1200);
    EXPECT_EQ(model.index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_EQ(model.index(0, 2).data().toString(), QStringLiteral("DOC file"));
    EXPECT_TRUE(model.flags(plain).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_FALSE(model.flags(model.index(0, 1)).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_TRUE(model.index(0, 1).data(Qt::CheckStateRole).isNull()); // one check box a row

    // A tick as the view gives it (an int), a selected row and the current one.
    EXPECT_EQ(plain.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model.setData(model.index(1, 0), static_cast<int>(Qt::Checked), Qt::CheckStateRole));
    EXPECT_EQ(changed.size(), 1);
    EXPECT_FALSE(model.setData(model.index(1, 0), QStringLiteral("x"), Qt::DisplayRole));
    selection.select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection.setCurrentIndex(model.index(3, 0), QItemSelectionModel::NoUpdate);

    // By size, largest first: the tick, the selection and the current row stay with their files.
    model.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(modelKeys(model), (std::vector<std::string>{"b.doc", "File2.txt", "file10.txt", "a.tsl"}));
    model.sort(1, Qt::AscendingOrder);
    EXPECT_EQ(modelKeys(model), (std::vector<std::string>{"a.tsl", "file10.txt", "File2.txt", "b.doc"}));
    EXPECT_EQ(model.index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked); // File2.txt
    EXPECT_TRUE(model.isChecked(2));
    EXPECT_FALSE(model.isChecked(0) || model.isChecked(1) || model.isChecked(3));
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows().value(0).row(), 1); // file10.txt
    EXPECT_EQ(selection.currentIndex().row(), 0);          // a.tsl
    // By type, ties by name; descending is the exact reverse.
    model.sort(2, Qt::AscendingOrder);
    EXPECT_EQ(modelKeys(model), (std::vector<std::string>{"b.doc", "File2.txt", "file10.txt", "a.tsl"}));
    model.sort(2, Qt::DescendingOrder);
    EXPECT_EQ(modelKeys(model), (std::vector<std::string>{"a.tsl", "file10.txt", "File2.txt", "b.doc"}));

    // A new fill keeps the chosen column and order, in one reset, with nothing ticked.
    model.sort(1, Qt::DescendingOrder);
    model.setRows({madeRow("x", 1, "X file"), madeRow("y", 3, "Y file"), madeRow("z", 2, "Z file")});
    EXPECT_EQ(resets.size(), 2);
    EXPECT_EQ(modelKeys(model), (std::vector<std::string>{"y", "z", "x"}));
    EXPECT_EQ(model.sortColumn(), 1);
    EXPECT_EQ(model.sortOrder(), Qt::DescendingOrder);
    for (int i = 0; i < model.rowCount(); ++i)
        EXPECT_FALSE(model.isChecked(i));
    EXPECT_EQ(model.rowOfKey("z"), 1);
    EXPECT_EQ(model.rowOfKey("gone"), -1);
    model.setAllChecked(true);
    for (int i = 0; i < model.rowCount(); ++i)
        EXPECT_EQ(model.index(i, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
}

// Refresh (F5) reads the list again: ticks, the selection and the current row stay on the files that
// are still there, in the order the user chose; a new file comes unticked, a vanished one goes. The
// same when the window goes on painting while the folder is read off its thread (no patience: every
// read is taken that way).
TEST_F(BrowserPaneTest, RefreshKeepsTicksSelectionAndTheCurrentRowOnTheirFiles) {
    for (const std::chrono::milliseconds patience : {std::chrono::milliseconds(100), std::chrono::milliseconds(0)}) {
        SCOPED_TRACE(patience.count());
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "gone.txt"})
            sandbox.writeFile(std::string("C:\\Docs\\") + name, name);
        std::filesystem::remove(sandbox.host("C:\\Docs\\bb.txt"));
        sandbox.makeFolder("C:\\Docs\\Inner");
        auto w = open();
        w->browser().setReadPatience(patience);
        QTreeWidgetItem* docs = child(w->tvw1()->topLevelItem(0), QStringLiteral("Docs"));
        ASSERT_NE(docs, nullptr);
        w->browser().tvw1_NodeClick(docs, false);
        ASSERT_EQ(w->browser().currentFolder(), "C:\\Docs");
        EXPECT_EQ(childTexts(docs), std::vector<std::string>{"Inner"});
        QTreeView* list = w->lvwFiles();
        list->sortByColumn(0, Qt::DescendingOrder);
        ASSERT_EQ(columnTexts(list, 0), (std::vector<std::string>{"gone.txt", "d.txt", "c.txt", "b.txt", "a.txt"}));
        shell_test::setFileCheck(*w, shell_test::fileRow(*w, "b.txt"), Qt::Checked);
        shell_test::setFileCheck(*w, shell_test::fileRow(*w, "gone.txt"), Qt::Checked);
        QItemSelectionModel* selection = list->selectionModel();
        selection->select(shell_test::fileIndex(*w, shell_test::fileRow(*w, "c.txt")),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(shell_test::fileIndex(*w, shell_test::fileRow(*w, "d.txt")),
                                   QItemSelectionModel::NoUpdate);

        std::filesystem::remove(sandbox.host("C:\\Docs\\gone.txt"));
        sandbox.writeFile("C:\\Docs\\bb.txt", "new");
        w->action(QStringLiteral("mRefresh"))->trigger();

        EXPECT_EQ(columnTexts(list, 0), (std::vector<std::string>{"d.txt", "c.txt", "bb.txt", "b.txt", "a.txt"}));
        std::vector<std::string> ticked;
        for (int i = 0; i < shell_test::fileCount(*w); ++i)
            if (shell_test::fileCheck(*w, i) == Qt::Checked)
                ticked.push_back(shell_test::fileKey(*w, i));
        EXPECT_EQ(ticked, std::vector<std::string>{"b.txt"});
        EXPECT_EQ(w->browser().selectedFileRows(), std::vector<int>{shell_test::fileRow(*w, "c.txt")});
        EXPECT_EQ(w->browser().currentFileRow(), shell_test::fileRow(*w, "d.txt"));
        EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: 5"));
        EXPECT_EQ(w->filFiles()->count(), 5);
    }
}

} // namespace

namespace {

// Assistive technology hears each row's texts and whether it is ticked, and the keyboard ticks a row.
TEST_F(BrowserPaneTest, EachRowIsHeardWithItsTextsAndTickAndSpaceTicksIt) {
    sandbox.writeFile("C:\\Docs\\a.txt", std::string(1200, 'a'));
    sandbox.writeFile("C:\\Docs\\b.doc", "b");
    auto w = open("C:\\Docs");
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTreeView* list = w->lvwFiles();
    shell_test::setFileCheck(*w, 1, Qt::Checked);

    QAccessibleInterface* heard = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(heard, nullptr);
    QAccessibleTableInterface* table = heard->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->columnCount(), 3);
    const auto cell = [table](int row, int column) {
        QAccessibleInterface* c = table->cellAt(row, column);
        return c ? c->text(QAccessible::Name) : QStringLiteral("(none)");
    };
    EXPECT_EQ(cell(0, 0), QStringLiteral("a.txt"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("1.17 KB"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("TXT file"));
    EXPECT_EQ(cell(1, 0), QStringLiteral("b.doc"));
    ASSERT_NE(table->cellAt(0, 0), nullptr);
    ASSERT_NE(table->cellAt(1, 0), nullptr);
    EXPECT_TRUE(table->cellAt(0, 0)->state().checkable);
    EXPECT_FALSE(table->cellAt(0, 0)->state().checked);
    EXPECT_TRUE(table->cellAt(1, 0)->state().checked);

    // Space on the current row ticks it, a second Space unticks it.
    list->setFocus();
    list->setCurrentIndex(shell_test::fileIndex(*w, 0));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(shell_test::fileCheck(*w, 0), Qt::Checked);
    EXPECT_TRUE(table->cellAt(0, 0)->state().checked);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(shell_test::fileCheck(*w, 0), Qt::Unchecked);
}

} // namespace

// While the window waits for a folder's read, a call that comes without user input (a second
// instance's file, assistive technology, the tray) waits for the read to end: another drive's tree
// does not replace the tree the read fills under it, and the call still takes effect afterwards.
TEST_F(BrowserPaneTest, ACallDuringAFoldersReadWaitsForTheReadToEnd) {
    const std::string dHost = sandbox.root() + "/volume";
    std::filesystem::create_directories(dHost + "/Music");
    platform::registry().setString(platform::RegRoot::CurrentUser, settings::kDrivesKey, "D", dHost);
    platform::registry().setDword(platform::RegRoot::CurrentUser, settings::kDrivesKey, "D.Kind", 3);
    platform::reloadDrives();
    sandbox.makeFolder("C:\\Docs\\Inner");
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    auto w = open();
    w->browser().setReadPatience(std::chrono::milliseconds(0)); // every read is waited for in a loop
    QTreeWidgetItem* docs = child(w->tvw1()->topLevelItem(0), QStringLiteral("Docs"));
    ASSERT_NE(docs, nullptr);
    bool duringRead = false;
    QMetaObject::invokeMethod(
        w.get(),
        [&] {
            duringRead = w->browser().isReading();
            w->browser().setDrive('D');
        },
        Qt::QueuedConnection);
    w->browser().tvw1_NodeClick(docs, false);
    EXPECT_EQ(childTexts(docs), std::vector<std::string>{"Inner"}); // the clicked node is whole
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->browser().currentFolder() == "d:\\"; }, 30000));
    QTreeWidgetItem* root = w->tvw1()->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("D:\\"));
    EXPECT_NE(child(root, QStringLiteral("Music")), nullptr);
    if (!duringRead)
        GTEST_SKIP() << "the reads ended before the posted call came: nothing was put off";
}
