// The browser pane follows the disk: folders and files made or removed while the program runs show
// up without a restart (watched folders), F5 / Refresh reads the branch and the list again at once,
// and the list fits its width.

#include "ShellTestSupport.h"

#include "shell/frmMain.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>

namespace {

class FollowTheDiskTest : public shell_test::ShellTest {
protected:
    // The main window with C:\Docs picked in the tree.
    std::unique_ptr<frmMain> openDocs() {
        auto w = shownWindow();
        QTreeWidgetItem* docs = child(w->tvw1()->topLevelItem(0), "Docs");
        EXPECT_NE(docs, nullptr);
        if (docs) {
            w->tvw1()->setCurrentItem(docs);
            w->browser().tvw1_NodeClick(docs, false);
        }
        EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs");
        return w;
    }
    static QTreeWidgetItem* child(QTreeWidgetItem* node, const char* text) {
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->text(0) == QString::fromLatin1(text))
                return node->child(i);
        return nullptr;
    }
    static QStringList children(QTreeWidgetItem* node) {
        QStringList names;
        for (int i = 0; node && i < node->childCount(); ++i)
            names << node->child(i)->text(0);
        return names;
    }
    static QStringList rows(const frmMain& w) {
        QStringList names;
        for (int i = 0; i < shell_test::fileCount(w); ++i)
            names << shell_test::fileText(w, i);
        return names;
    }
    QTreeWidgetItem* docsNode(const frmMain& w) { return child(w.tvw1()->topLevelItem(0), "Docs"); }
};

TEST_F(FollowTheDiskTest, FoldersAndFilesMadeOrRemovedMeanwhileShowWithoutARestart) {
    sandbox.makeFolder("C:\\Docs\\Old");
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    auto w = openDocs();
    ASSERT_EQ(children(docsNode(*w)), QStringList{QStringLiteral("Old")});
    EXPECT_TRUE(w->browser().watchedFolders().contains(QString::fromStdString(sandbox.host("C:\\Docs"))));
    shell_test::setFileCheck(*w, 0, Qt::Checked);

    // Another program makes a folder and a file and removes a folder.
    std::filesystem::create_directory(sandbox.host("C:\\Docs\\New"));
    sandbox.writeFile("C:\\Docs\\b.txt", "b");
    ASSERT_TRUE(QTest::qWaitFor([&] { return children(docsNode(*w)).contains(QStringLiteral("New")); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rows(*w).contains(QStringLiteral("b.txt")); }, 20000));
    EXPECT_EQ(w->simpleText(), QStringLiteral("Total Files: 2"));
    // The row ticked before is still ticked.
    EXPECT_EQ(shell_test::fileCheck(*w, static_cast<int>(rows(*w).indexOf(QStringLiteral("a.txt")))), Qt::Checked);

    std::filesystem::remove(sandbox.host("C:\\Docs\\Old"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !children(docsNode(*w)).contains(QStringLiteral("Old")); }, 20000));
    EXPECT_EQ(children(docsNode(*w)), QStringList{QStringLiteral("New")});
    EXPECT_EQ(w->browser().currentFolder(), "C:\\Docs");

    // The selected folder itself goes: the selection moves up to its parent.
    QTreeWidgetItem* fresh = child(docsNode(*w), "New");
    ASSERT_NE(fresh, nullptr);
    w->tvw1()->setCurrentItem(fresh);
    w->browser().tvw1_NodeClick(fresh, false);
    ASSERT_EQ(w->browser().currentFolder(), "C:\\Docs\\New");
    std::filesystem::remove(sandbox.host("C:\\Docs\\New"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->browser().currentFolder() == "C:\\Docs"; }, 20000));
    EXPECT_EQ(w->tvw1()->currentItem(), docsNode(*w));
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.last().text;
}

TEST_F(FollowTheDiskTest, RefreshReadsTheBranchAndTheListAtOnce) {
    sandbox.makeFolder("C:\\Docs\\Old");
    auto w = openDocs();
    QAction* refresh = w->action(QStringLiteral("mRefresh"));
    ASSERT_NE(refresh, nullptr);
    EXPECT_EQ(refresh->text(), QStringLiteral("&Refresh"));
    EXPECT_EQ(refresh->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_TRUE(w->mnuFolder()->actions().contains(refresh));
    EXPECT_TRUE(w->actions().contains(refresh)); // F5 works from anywhere in the window

    // No event runs between the change and the command: only Refresh can have read it.
    std::filesystem::create_directory(sandbox.host("C:\\Docs\\Old\\Inner"));
    std::filesystem::create_directory(sandbox.host("C:\\Docs\\Extra"));
    sandbox.writeFile("C:\\Docs\\c.txt", "c");
    child(docsNode(*w), "Old")->setExpanded(true); // read, and so re-read with its branch
    refresh->trigger();
    EXPECT_EQ(children(docsNode(*w)), (QStringList{QStringLiteral("Extra"), QStringLiteral("Old")}));
    EXPECT_EQ(children(child(docsNode(*w), "Old")), QStringList{QStringLiteral("Inner")});
    EXPECT_EQ(rows(*w), QStringList{QStringLiteral("c.txt")});
    EXPECT_EQ(w->tvw1()->currentItem(), docsNode(*w));
}

// A folder renamed by a command (Lock Folder gives it its scrambled name) moves to its sorted place
// when the branch is read again: one node, still selected.
TEST_F(FollowTheDiskTest, AFolderRenamedByACommandKeepsOneNodeAndTheSelection) {
    for (const char* name : {"Alpha", "Beta", "Zeta"})
        sandbox.makeFolder(std::string("C:\\Docs\\") + name);
    sandbox.makeFolder("C:\\Docs\\Alpha\\Inner");
    auto w = openDocs();
    QTreeWidgetItem* alpha = child(docsNode(*w), "Alpha");
    ASSERT_NE(alpha, nullptr);
    w->tvw1()->setCurrentItem(alpha);
    w->browser().tvw1_NodeClick(alpha, false);
    ASSERT_TRUE(alpha->isExpanded());
    shell_test::type(w.get(), "txtPassword1", QStringLiteral("pw"));
    shell_test::type(w.get(), "txtPassword2", QStringLiteral("pw"));
    w->action(QStringLiteral("mLockFolder"))->trigger();
    ASSERT_EQ(prompt.texts().size(), 1u); // the question
    const std::string locked = w->browser().currentFolder();
    ASSERT_NE(locked, "C:\\Docs\\Alpha");

    w->action(QStringLiteral("mRefresh"))->trigger();
    std::vector<std::string> keys;
    for (int i = 0; i < docsNode(*w)->childCount(); ++i)
        keys.push_back(shell::BrowserPane::nodeKey(docsNode(*w)->child(i)));
    EXPECT_EQ(std::count(keys.begin(), keys.end(), locked), 1) << locked;
    EXPECT_EQ(keys.size(), 3u);
    ASSERT_NE(w->tvw1()->currentItem(), nullptr);
    EXPECT_EQ(shell::BrowserPane::nodeKey(w->tvw1()->currentItem()), locked);
    EXPECT_EQ(w->browser().currentFolder(), locked);
}

TEST_F(FollowTheDiskTest, TheColumnsFitTheListWithoutAHorizontalScrollBar) {
    sandbox.writeFile("C:\\Docs\\a rather long name of a file that was written.document", "x");
    auto w = openDocs();
    QTreeView* list = w->lvwFiles();
    QHeaderView* header = list->header();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->viewport()->width() > 0; }, 5000));
    QApplication::processEvents();
    int total = 0;
    for (int i = 0; i < 3; ++i)
        total += header->sectionSize(i);
    EXPECT_LE(total, list->viewport()->width());
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    EXPECT_GT(header->sectionSize(2), 0); // the Type column is there to be seen
    EXPECT_GT(header->sectionSize(0), header->sectionSize(1));
}

} // namespace
