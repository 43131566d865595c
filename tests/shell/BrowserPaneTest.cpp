// The browser pane: drive list, folder tree and file list on real files in the sandbox drive.

#include "ShellTestSupport.h"

#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "shell/frmMain.h"

#include <QComboBox>
#include <QMenu>
#include <QTreeWidget>

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
        w->setCurrentFolder(folder);
        return w;
    }

    struct Row {
        QString text, size, type;
        bool lock;
    };
    static std::map<std::string, Row> rows(const frmMain& w) {
        std::map<std::string, Row> out;
        for (int i = 0; i < w.lvwFiles()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* it = w.lvwFiles()->topLevelItem(i);
            out[frmMain::rowKey(it)] = {it->text(0), it->text(1), it->text(2),
                                        it->data(0, frmMain::SmallIconRole).toString() == QStringLiteral("lock") &&
                                            !it->icon(0).isNull()};
            EXPECT_EQ(it->checkState(0), Qt::Unchecked);
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
        {"noext", "abc", "noext", " file", false},
    };
    for (const Case& c : cases)
        sandbox.writeFile("C:\\F\\" + c.name, c.content);
    sandbox.writeFile("C:\\F\\desktop.ini", "[.ShellClassInfo]\r\n");

    auto w = open("C:\\F");
    EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: %1").arg(cases.size() + 1)); // desktop.ini counted
    const auto shown = rows(*w);
    EXPECT_EQ(shown.size(), cases.size()); // but never listed
    EXPECT_EQ(shown.count("desktop.ini"), 0u);
    for (const Case& c : cases) {
        ASSERT_EQ(shown.count(c.name), 1u) << c.name;
        const Row& r = shown.at(c.name);
        EXPECT_EQ(r.text, QString::fromStdString(c.text)) << c.name;
        EXPECT_EQ(r.type, QString::fromStdString(c.type)) << c.name;
        EXPECT_EQ(r.lock, c.lock) << c.name;
        EXPECT_EQ(r.size, QString::fromStdString(FormatByteSize(static_cast<std::int64_t>(c.content.size()))));
    }
    EXPECT_FALSE(w->isListGreen());
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
    EXPECT_TRUE(w->isListGreen());
    EXPECT_EQ(rows(*w).size(), 1u);
    w->setCurrentFolder("C:\\Other");
    EXPECT_FALSE(w->isListGreen());
    w->setCurrentFolder("C:\\Locked");
    EXPECT_TRUE(w->isListGreen());
    w->setCurrentFolder("c:\\");
    EXPECT_FALSE(w->isListGreen());
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
    EXPECT_EQ(frmMain::nodeKey(locked), "C:\\" + lockedName);
    EXPECT_EQ(child(root, QString::fromStdString(lockedName)), nullptr);

    QTreeWidgetItem* sub = child(root, QStringLiteral("Sub"));
    ASSERT_NE(sub, nullptr);
    w->tvw1_NodeClick(sub, false);
    ASSERT_EQ(sub->childCount(), 1);
    EXPECT_EQ(sub->child(0)->text(0), QStringLiteral("Kept"));
    EXPECT_EQ(frmMain::nodeKey(sub->child(0)), "C:\\Sub\\Kept");
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

    w->tvw1_NodeClick(a, false);
    EXPECT_EQ(a->childCount(), 2);
    EXPECT_TRUE(a->isExpanded());
    EXPECT_EQ(w->currentFolder(), "C:\\A");
    EXPECT_EQ(w->panelText(2), QStringLiteral("C:\\A"));

    w->tvw1_NodeClick(b, true);
    EXPECT_FALSE(a->isExpanded());
    EXPECT_TRUE(b->isExpanded());
    EXPECT_EQ(w->currentFolder(), "C:\\B");
    EXPECT_EQ(w->lvwFiles()->topLevelItemCount(), 1);
    w->tvw1_NodeClick(b, false);
    EXPECT_EQ(b->childCount(), 1); // not added a second time
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(BrowserPaneTest, PickingAVanishedFolderSaysSoAndRebuildsTheTree) {
    sandbox.makeFolder("C:\\Gone");
    sandbox.makeFolder("C:\\Stays");
    auto w = open();
    QTreeWidgetItem* gone = child(w->tvw1()->topLevelItem(0), QStringLiteral("Gone"));
    ASSERT_NE(gone, nullptr);
    std::filesystem::remove(sandbox.host("C:\\Gone"));
    w->tvw1_NodeClick(gone, false);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Path Not found. Please try again");
    EXPECT_EQ(prompt.last().icon, platform::Icon::None);
    EXPECT_EQ(w->panelText(2), QString());
    QTreeWidgetItem* root = w->tvw1()->topLevelItem(0);
    EXPECT_EQ(child(root, QStringLiteral("Gone")), nullptr);
    EXPECT_NE(child(root, QStringLiteral("Stays")), nullptr);
    EXPECT_EQ(w->currentFolder(), "c:\\");
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
        EXPECT_EQ(frmMain::nodeKey(w->tvw1()->topLevelItem(0)), "C:\\");
        EXPECT_EQ(w->currentFolder(), "c:\\");
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
    EXPECT_EQ(w->currentFolder(), "d:\\");
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
    EXPECT_EQ(w->selectedFolderKey(), "C:\\Target");
    EXPECT_EQ(w->currentFolder(), "C:\\Target");
    EXPECT_TRUE(w->mnuFolder()->isVisible());
    w->mnuFolder()->hide();
    prompt.answer(platform::Answer::No);
}

} // namespace
