// The shredder in the real main window: its page on the "File Shredder" tab, drops served from the
// window's load, and the folder tree's "Shred Folder and Files" sharing the busy switch.

#include "ShellTestSupport.h"

#include "diagnostics/CAppLog.h"
#include "shell/frmMain.h"
#include "shredder/ShredderPage.h"

#include <QAction>
#include <QListWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>

#include <filesystem>

namespace {

class ShredderWiringTest : public shell_test::ShellTest {};

QTreeWidgetItem* childNode(QTreeWidgetItem* node, const char* text) {
    for (int i = 0; node && i < node->childCount(); ++i)
        if (node->child(i)->text(0) == QString::fromLatin1(text))
            return node->child(i);
    return nullptr;
}

} // namespace

TEST_F(ShredderWiringTest, TheTreeCommandShredsTheSelectedFolderWhileTheOtherCommandsWait) {
    sandbox.writeFile("C:\\Tree\\a.txt", std::string(5000, 'a'));
    sandbox.makeFolder("C:\\Other");
    frmMain w(prompt);
    w.Form_Load();

    auto* page = w.fraMain(4)->findChild<shredder::ShredderPage*>(QStringLiteral("ShredderPage"));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(w.tabMain()->tabText(w.tabMain()->indexOf(w.fraMain(4))), QStringLiteral("File Shredder"));
    EXPECT_TRUE(page->findChild<QListWidget*>(QStringLiteral("lstFiles"))->viewport()->acceptDrops());

    QTreeWidgetItem* root = w.tvw1()->topLevelItem(0);
    w.browser().tvw1_NodeClick(root, false);
    QTreeWidgetItem* tree = childNode(root, "Tree");
    ASSERT_NE(tree, nullptr);
    w.tvw1()->setCurrentItem(tree);
    ASSERT_EQ(w.browser().selectedFolderKey(), "C:\\Tree");

    prompt.answer(platform::Answer::Yes);
    w.action(QStringLiteral("mShredFolderandFiles"))->trigger();
    EXPECT_EQ(prompt.last().text, "Are you sure you want to shred 'C:\\Tree' folder ?");
    EXPECT_TRUE(w.isCommandBusy());
    EXPECT_FALSE(w.action(QStringLiteral("mLockFolder"))->isEnabled());
    EXPECT_FALSE(w.action(QStringLiteral("mShredFolderandFiles"))->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([page] { return !page->isRunning(); }, 20000));

    EXPECT_FALSE(w.isCommandBusy());
    EXPECT_TRUE(w.action(QStringLiteral("mShredFolderandFiles"))->isEnabled());
    EXPECT_FALSE(sandbox.exists("C:\\Tree"));
    EXPECT_EQ(childNode(root, "Tree"), nullptr);
    EXPECT_NE(childNode(root, "Other"), nullptr);
    EXPECT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(w.sbrMain()->currentMessage(), QStringLiteral("1 item shredded."));

    // The drive root is refused outright.
    w.tvw1()->setCurrentItem(root);
    w.action(QStringLiteral("mShredFolderandFiles"))->trigger();
    EXPECT_EQ(prompt.last().text, "'C:\\' can't be shredded: it holds your system or Tessaly's own files.");
    EXPECT_TRUE(sandbox.exists("C:\\Other"));
}

// A sweep of the scheduled folder is counted in the status bar by what it removed from the folder,
// and written to the window's own log next to its other lines.
TEST_F(ShredderWiringTest, TheStatusBarCountsWhatAScheduledSweepShredded) {
    for (const char* name : {"C:\\Temp\\a.txt", "C:\\Temp\\b.txt", "C:\\Temp\\c.txt"})
        sandbox.writeFile(name, name);
    frmMain w(prompt);
    w.Form_Load();
    auto* page = w.fraMain(4)->findChild<shredder::ShredderPage*>(QStringLiteral("ShredderPage"));
    ASSERT_NE(page, nullptr);
    std::int64_t now = 1'000'000;
    page->schedule().clock = [&now] { return now; };
    page->schedule().set("C:\\Temp", "0", "5", "C:\\Temp");
    now += 5 * 60;
    page->timShredFolder_Timer();
    ASSERT_TRUE(QTest::qWaitFor([page] { return !page->isRunning(); }, 20000));
    EXPECT_TRUE(std::filesystem::is_empty(sandbox.host("C:\\Temp")));
    EXPECT_EQ(w.sbrMain()->currentMessage(), QStringLiteral("3 items shredded."));
    // The window's log holds the schedule's lines after its own first one.
    w.appLog()->WriteLogEntry("window line");
    const std::string log = sandbox.readFile("C:\\home\\.local\\state\\tessaly\\Tessaly.LOG");
    EXPECT_NE(log.find("Scheduled shred of 'C:\\Temp': done"), std::string::npos) << log;
    EXPECT_NE(log.find("window line"), std::string::npos) << log;
}
