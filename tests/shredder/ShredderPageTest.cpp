#include "shredder/ShredderPage.h"

#include "core/FolderPassword.h"
#include "core/Mounts.h"
#include "core/Register.h"
#include "platform/Environment.h"
#include "platform/Overwrite.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "shredder/ShredCommands.h"

#include "ShredderTestSupport.h"
#include "support/ScriptedPrompt.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <future>

namespace fs = std::filesystem;
using platform::Answer;
using platform::Icon;
using shredder::ShredderPage;
using shredder_test::firstPass;
using shredder_test::RemovedContent;

namespace {

class ShredderPageTest : public testing_support::SandboxTest {
protected:
    ShredderPageTest() {
        shredder_test::ensureApp();
        core::EnsureRegister(registerPath);
        page = std::make_unique<ShredderPage>(prompt, [this] { return registerPath; });
    }

    template <typename W> W* find(const char* name) {
        auto* w = page->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void waitForRun() {
        QElapsedTimer clock;
        clock.start();
        while (page->isRunning() && clock.elapsed() < 120000) {
            QCoreApplication::processEvents();
            QTest::qWait(5);
        }
        ASSERT_FALSE(page->isRunning());
    }
    // Clicks Shred and answers its question with Yes; the question is checked and then forgotten.
    void confirmShred(std::size_t count) {
        prompt.answer(Answer::Yes);
        page->cmdShredDelete_Click();
        ASSERT_FALSE(prompt.boxes.empty());
        EXPECT_EQ(prompt.last().text, shredder::ConfirmText(count));
        EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNoDefaultNo);
        prompt.boxes.clear();
    }
    std::string text(const char* name) {
        if (auto* label = page->findChild<QLabel*>(QString::fromLatin1(name)))
            return label->text().toStdString();
        return find<QLineEdit>(name)->text().toStdString();
    }
    void dropFiles(const std::vector<std::string>& hosts) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const auto& h : hosts)
            urls << QUrl::fromLocalFile(QString::fromStdString(h));
        mime->setUrls(urls);
        QWidget* target = find<QListWidget>("lstFiles")->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        delete mime;
    }

    // How the log writes a moment (local time), worked out here with the C library.
    static std::string stampOf(std::int64_t seconds) {
        const std::time_t t = static_cast<std::time_t>(seconds);
        std::tm local{};
        localtime_r(&t, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        return text;
    }
    std::string registry(const char* value) { return GetString(HKEY_CURRENT_USER, settings::kAppKey, value); }
    // A moment as the schedule shows it, to the minute (local time), worked out with the C library.
    static std::string minuteOf(std::int64_t seconds) { return stampOf(seconds).substr(0, 16); }

    QSpinBox* hours() { return find<QSpinBox>("cmbHour"); }
    QSpinBox* minutes() { return find<QSpinBox>("cmbMinute"); }
    void setPeriod(int h, int m) {
        hours()->setValue(h);
        minutes()->setValue(m);
    }
    // Clicks Set and answers Yes to its question, which must name the folder, the period and the first
    // run (`periodText` from `now`); the question is then forgotten.
    void confirmSet(const std::string& folder, const std::string& periodText, std::int64_t firstRun) {
        prompt.answer(Answer::Yes);
        QTest::mouseClick(find<QPushButton>("cmdSet"), Qt::LeftButton);
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, "Shred everything in '" + folder + "' every " + periodText +
                                          "?\r\n\r\nWhile Tessaly runs, every file and subfolder in that folder "
                                          "is shredded each time the period ends, the first time at " +
                                          minuteOf(firstRun) + ". What is shredded can't be recovered.");
        EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNoDefaultNo);
        EXPECT_EQ(prompt.last().icon, Icon::Question);
        prompt.boxes.clear();
    }

    std::string registerPath = core::RegisterPath();
    testing_support::ScriptedPrompt prompt;
    std::unique_ptr<ShredderPage> page;
};

} // namespace

TEST_F(ShredderPageTest, TheTabShowsItsControlsWithTheirCaptions) {
    EXPECT_EQ(find<QPushButton>("cmdFileBrowse")->text(), QStringLiteral("Browse..."));
    EXPECT_EQ(find<QPushButton>("cmdShredClear")->text(), QStringLiteral("Clear"));
    EXPECT_EQ(find<QPushButton>("cmdShredDelete")->text(), QStringLiteral("Shred"));
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());
    EXPECT_FALSE(find<QProgressBar>("pb1")->isVisibleTo(page.get()));
    EXPECT_EQ(find<QComboBox>("cmbOver")->currentIndex(), 0);
    EXPECT_EQ(find<QComboBox>("cmbOver")->count(), 3);
    EXPECT_EQ(find<QTimer>("timShredFolder")->interval(), 60000);
    EXPECT_TRUE(find<QTimer>("timShredFolder")->isActive());
    for (const char* label : {"inf", "lblEvery", "lblHour", "lblMinute", "lblAboutShredTimer", "lblFileName"})
        EXPECT_NE(find<QLabel>(label)->buddy(), nullptr) << label;
    // The period reads in words around its boxes, "Every [N] h [M] min", and starts at none.
    const std::pair<const char*, const char*> words[] = {{"lblEvery", "Every"}, {"lblHour", "h"}, {"lblMinute", "min"}};
    for (const auto& [label, caption] : words)
        EXPECT_EQ(find<QLabel>(label)->text().toStdString(), caption);
    EXPECT_EQ(hours()->value(), 0);
    EXPECT_EQ(hours()->maximum(), 24);
    EXPECT_EQ(minutes()->value(), 0);
    // The minutes go up in steps of 5, the shortest period.
    for (int expected : {5, 10}) {
        QTest::keyClick(minutes(), Qt::Key_Up);
        EXPECT_EQ(minutes()->value(), expected);
    }
}

TEST_F(ShredderPageTest, ShredOverwritesEveryItemAndClearsTheList) {
    sandbox.writeFile("C:\\Docs\\a.txt", std::string(100, 'a'));
    sandbox.writeFile("C:\\Docs\\big.bin", std::string(1 << 20, 'b'));
    sandbox.writeFile("C:\\Docs\\Folder\\inner.txt", std::string(700, 'c'));
    fs::permissions(sandbox.host("C:\\Docs\\a.txt"), fs::perms::owner_read);
    RemovedContent removed;

    for (const char* path : {"C:\\Docs\\a.txt", "C:\\Docs\\a.txt", "C:\\Docs\\big.bin", "C:\\Docs\\Folder"})
        page->AddToShredList(path);
    EXPECT_EQ(page->pendingList().size(), 4u);
    EXPECT_EQ(find<QListWidget>("lstFiles")->count(), 4);
    EXPECT_EQ(text("lFC"), "There are 4 files ready for deleting!");
    EXPECT_EQ(text("lStat"), "Ready...");
    EXPECT_TRUE(find<QPushButton>("cmdShredDelete")->isEnabled());

    // A click on a path copies it into the name box.
    auto* list = find<QListWidget>("lstFiles");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(text("txtFileName"), "C:\\Docs\\big.bin");

    // It asks first; No (the default) changes nothing.
    QTest::mouseClick(find<QPushButton>("cmdShredDelete"), Qt::LeftButton);
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Shred 4 items? They can't be recovered."});
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNoDefaultNo);
    EXPECT_FALSE(page->isRunning());
    EXPECT_EQ(page->pendingList().size(), 4u);
    prompt.boxes.clear();
    prompt.answer(Answer::Yes);
    QTest::mouseClick(find<QPushButton>("cmdShredDelete"), Qt::LeftButton);
    prompt.boxes.clear();
    EXPECT_TRUE(page->isRunning());
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());
    EXPECT_TRUE(find<QProgressBar>("pb1")->isVisibleTo(page.get()));
    page->cmdShredDelete_Click(); // the busy switch: no second run
    waitForRun();

    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    EXPECT_EQ(removed.of(sandbox.host("C:\\Docs\\a.txt")), firstPass(100));
    EXPECT_EQ(removed.of(sandbox.host("C:\\Docs\\big.bin")), firstPass(1 << 20));
    EXPECT_EQ(removed.of(sandbox.host("C:\\Docs\\Folder\\inner.txt")), firstPass(700));
    EXPECT_TRUE(fs::is_empty(sandbox.host("C:\\Docs")));
    EXPECT_TRUE(page->pendingList().empty());
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(text("lFC"), "");
    EXPECT_EQ(text("lStat"), "");
    EXPECT_EQ(text("txtFileName"), "");
    EXPECT_FALSE(find<QProgressBar>("pb1")->isVisibleTo(page.get()));
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());
}

TEST_F(ShredderPageTest, ADiskThatMayKeepCopiesIsNamedBeforeTheQuestionAndInTheResult) {
    core_tests::LoopVolume volume(sandbox, "C:\\Stick");
    if (!volume.ok())
        GTEST_SKIP() << volume.why();
    core_tests::RotationalFlag flag(volume.device());
    if (!flag.set("0"))
        GTEST_SKIP() << "the loop device's rotational flag cannot be set";
    const std::string warning = platform::overwriteWarning({platform::OverwriteHolds::Flash, "ext4"});
    ASSERT_EQ(shredder::DiskWarning({"C:\\Stick\\photo.jpg"}), warning);

    sandbox.writeFile("C:\\Stick\\photo.jpg", std::string(3000, 'p'));
    page->AddToShredList("C:\\Stick\\photo.jpg");
    prompt.answer(Answer::Yes);
    page->cmdShredDelete_Click();
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, warning + "\r\n\r\n" + shredder::ConfirmText(1));
    waitForRun();
    ASSERT_EQ(prompt.boxes.size(), 2u);
    EXPECT_EQ(prompt.last().text, "1 item was shredded. " + warning);
    EXPECT_EQ(prompt.last().icon, Icon::Information);
    EXPECT_FALSE(sandbox.exists("C:\\Stick\\photo.jpg"));
}

TEST_F(ShredderPageTest, AnEmptyListShowsTheErrorAndChangesNothing) {
    page->cmdShredDelete_Click();
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Error: Enter a file for shredding!");
    EXPECT_EQ(prompt.last().icon, Icon::Critical);
    EXPECT_EQ(prompt.last().title, "Tessaly");
    EXPECT_FALSE(page->isRunning());
    EXPECT_FALSE(find<QProgressBar>("pb1")->isVisibleTo(page.get()));
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());

    // Clicking the empty list tells how to add files.
    auto* list = find<QListWidget>("lstFiles");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(prompt.last().text, "Too add a file simply drag & drop the file to the list box!");
    EXPECT_EQ(prompt.last().icon, Icon::Information);
}

// Browse asks first whether to take files or a whole folder; each choice fills the list as the
// dialog answers (a cancelled one changes nothing; a folder the shredder refuses is told and left).
TEST_F(ShredderPageTest, BrowseTakesFilesOrAFolder) {
    sandbox.writeFile("C:\\a.txt", "a");
    sandbox.writeFile("C:\\Old\\b.txt", "b");
    QMenu* menu = find<QPushButton>("cmdFileBrowse")->menu();
    ASSERT_NE(menu, nullptr);
    QStringList captions;
    for (QAction* a : menu->actions())
        captions << a->text();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("&Files..."), QStringLiteral("A F&older...")}));

    struct Choice {
        const char* action;
        std::vector<std::string> files;
        std::string folder;
        std::vector<std::string> pending;
        std::size_t boxes;
    };
    const Choice choices[] = {
        {"mnuBrowseFiles", {"C:\\a.txt"}, "", {"C:\\a.txt"}, 0},
        {"mnuBrowseFolder", {}, "C:\\Old", {"C:\\a.txt", "C:\\Old"}, 0},
        {"mnuBrowseFolder", {}, "", {"C:\\a.txt", "C:\\Old"}, 0},
        {"mnuBrowseFolder", {}, "C:\\", {"C:\\a.txt", "C:\\Old"}, 1},
    };
    for (const Choice& c : choices) {
        page->openFiles = [&c] { return c.files; };
        page->openFolder = [&c] { return c.folder; };
        const std::size_t before = prompt.boxes.size();
        find<QAction>(c.action)->trigger();
        EXPECT_EQ(page->pendingList(), c.pending) << c.action << " " << c.folder;
        EXPECT_EQ(prompt.boxes.size() - before, c.boxes) << c.action << " " << c.folder;
    }
    EXPECT_EQ(text("lFC"), "There are 2 files ready for deleting!");
    EXPECT_TRUE(find<QPushButton>("cmdShredDelete")->isEnabled());
}

TEST_F(ShredderPageTest, BrowseAndDropAddEveryItemAndClearEmptiesTheList) {
    sandbox.writeFile("C:\\a.txt", "a");
    sandbox.writeFile("C:\\b.txt", "b");
    sandbox.writeFile("C:\\c.txt", "c");
    page->openFiles = [] { return std::vector<std::string>{"C:\\a.txt", "C:\\b.txt"}; };
    page->cmdFileBrowse_Click();
    EXPECT_EQ(page->pendingList(), (std::vector<std::string>{"C:\\a.txt", "C:\\b.txt"}));
    EXPECT_EQ(text("lFC"), "There are 2 files ready for deleting!");

    page->cmdShredClear_Click();
    EXPECT_TRUE(page->pendingList().empty());
    EXPECT_EQ(text("lStat"), "");
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());

    // A cancelled dialog changes nothing.
    page->openFiles = [] { return std::vector<std::string>{}; };
    page->cmdFileBrowse_Click();
    EXPECT_EQ(text("lFC"), "");

    // Drops are served only between start and stop.
    dropFiles({sandbox.host("C:\\a.txt")});
    EXPECT_TRUE(page->pendingList().empty());
    page->startServingDrops();
    dropFiles({sandbox.host("C:\\a.txt"), sandbox.host("C:\\b.txt"), sandbox.host("C:\\c.txt")});
    EXPECT_EQ(page->pendingList(), (std::vector<std::string>{"C:\\a.txt", "C:\\b.txt", "C:\\c.txt"}));
    EXPECT_EQ(text("lFC"), "There are 3 files ready for deleting!");
    page->stopServingDrops();
    dropFiles({sandbox.host("C:\\a.txt")});
    EXPECT_EQ(page->pendingList().size(), 3u);
}

TEST_F(ShredderPageTest, AnItemDroppedDuringARunWaitsForTheNext) {
    sandbox.writeFile("C:\\first.bin", std::string(4 << 20, 'f'));
    sandbox.writeFile("C:\\late.txt", "late");
    page->startServingDrops();
    dropFiles({sandbox.host("C:\\first.bin")});
    confirmShred(1);
    ASSERT_TRUE(page->isRunning());
    dropFiles({sandbox.host("C:\\late.txt")});
    waitForRun();

    EXPECT_FALSE(sandbox.exists("C:\\first.bin"));
    EXPECT_EQ(sandbox.readFile("C:\\late.txt"), "late");
    EXPECT_EQ(page->pendingList(), std::vector<std::string>{"C:\\late.txt"});
    EXPECT_EQ(find<QListWidget>("lstFiles")->count(), 1);
    EXPECT_EQ(text("lFC"), "There is 1 file ready for deleting!");
    EXPECT_TRUE(find<QPushButton>("cmdShredDelete")->isEnabled());
}

TEST_F(ShredderPageTest, ProtectedItemsAreRefusedEverywhere) {
    sandbox.writeFile("C:\\Docs\\keep.txt", "k");
    fs::create_directory_symlink(sandbox.root(), sandbox.host("C:\\Docs\\up"));
    const std::string refused[] = {"C:\\Docs\\..", "C:\\home", "C:\\Docs\\up\\home",
                                   "C:\\home\\.local\\share\\tessaly\\Windows\\System32\\systemtsl1.tcl"};
    for (const auto& path : refused) {
        SCOPED_TRACE(path);
        prompt.boxes.clear();
        page->AddToShredList(path);
        EXPECT_TRUE(page->pendingList().empty());
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, "'" + path + "' can't be shredded: it holds your system or Tessaly's own files.");
        EXPECT_EQ(prompt.last().icon, Icon::Critical);

        prompt.boxes.clear();
        page->ShredFolderCommand(path);
        EXPECT_EQ(prompt.texts(), std::vector<std::string>{shredder::RefusalMessage(path)});

        prompt.boxes.clear();
        find<QLineEdit>("txtShredFolder")->setText(QString::fromStdString(path));
        page->cmdSet_Click();
        EXPECT_EQ(prompt.texts(), std::vector<std::string>{shredder::RefusalMessage(path)});
        EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolder.name), "");
    }
    EXPECT_FALSE(page->isRunning());
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\keep.txt"), "k");

    // A link may go from the list (only the link goes), but not be the scheduled folder, whose
    // target the schedule empties.
    fs::create_directory_symlink(sandbox.host("C:\\home"), sandbox.host("C:\\Docs\\homelink"));
    prompt.boxes.clear();
    find<QLineEdit>("txtShredFolder")->setText(QStringLiteral("C:\\Docs\\homelink"));
    page->cmdSet_Click();
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{shredder::RefusalMessage("C:\\Docs\\homelink")});
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolder.name), "");
}

TEST_F(ShredderPageTest, TheTreeCommandAsksFirst) {
    sandbox.writeFile("C:\\Tree\\a.txt", "a");
    prompt.answer(Answer::No);
    page->ShredFolderCommand("C:\\Tree");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to shred 'C:\\Tree' folder ?");
    EXPECT_EQ(prompt.last().title, "Lock Confirmation");
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNoDefaultNo);
    EXPECT_FALSE(page->isRunning());
    EXPECT_EQ(sandbox.readFile("C:\\Tree\\a.txt"), "a");

    RemovedContent removed;
    prompt.answer(Answer::Yes);
    page->ShredFolderCommand("C:\\Tree");
    waitForRun();
    EXPECT_FALSE(sandbox.exists("C:\\Tree"));
    EXPECT_EQ(removed.of(sandbox.host("C:\\Tree\\a.txt")), firstPass(1));

    // A locked folder that the register knows is named as the user knows it, not by its scrambled name.
    sandbox.writeFile("C:\\Frperg.TSL\\a.txt", "a");
    core::RecordLock(registerPath, core::RegisterKind::Folder, "C:\\Secret", "C:\\Frperg.TSL");
    prompt.answer(Answer::No);
    page->ShredFolderCommand("C:\\Frperg.TSL");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to shred 'C:\\Secret (locked)' folder ?");
    EXPECT_EQ(sandbox.readFile("C:\\Frperg.TSL\\a.txt"), "a");
}

TEST_F(ShredderPageTest, AShreddedLockedItemLeavesTheRegister) {
    sandbox.writeFile("C:\\Docs\\nopx.gkg.TSL", "[Secret]locked");
    sandbox.writeFile("C:\\Docs\\Inner\\fghss.gkg.TSL", "[Secret]locked");
    sandbox.writeFile("C:\\Other\\xrrc.gkg.TSL", "[Secret]locked");
    core::RecordLock(registerPath, core::RegisterKind::SmallFile, "C:\\Docs\\abck.txt", "C:\\Docs\\nopx.gkg.TSL");
    core::RecordLock(registerPath, core::RegisterKind::SmallFile, "C:\\Docs\\Inner\\stuff.txt",
                     "C:\\Docs\\Inner\\fghss.gkg.TSL");
    core::RecordLock(registerPath, core::RegisterKind::SmallFile, "C:\\Other\\keep.txt", "C:\\Other\\xrrc.gkg.TSL");

    // Two locked folders with their stored passwords; one holds a file locked before the folder was.
    sandbox.writeFile("C:\\Docs\\Fnsr.TSL\\qbp.gkg.TSL", "[Secret]locked");
    sandbox.makeFolder("C:\\Other\\Xrrc.TSL");
    core::RecordLock(registerPath, core::RegisterKind::Folder, "C:\\Docs\\Safe", "C:\\Docs\\Fnsr.TSL");
    core::RecordLock(registerPath, core::RegisterKind::Folder, "C:\\Other\\Keep", "C:\\Other\\Xrrc.TSL");
    core::RecordLock(registerPath, core::RegisterKind::SmallFile, "C:\\Docs\\Safe\\doc.txt",
                     "C:\\Docs\\Safe\\qbp.gkg.TSL");
    const std::string safePassword = core::FolderPasswordValueName("C:\\Docs\\Safe");
    const std::string keepPassword = core::FolderPasswordValueName("C:\\Other\\Keep");
    SaveString(HKEY_CURRENT_USER, settings::kFolderPasswordKey, safePassword, "enciphered");
    SaveString(HKEY_CURRENT_USER, settings::kFolderPasswordKey, keepPassword, "enciphered");
    const auto stored = [](const std::string& valueName) {
        platform::RegValue value;
        return platform::registry().queryValue(HKEY_CURRENT_USER, settings::kFolderPasswordKey, valueName, value) ==
               platform::kRegSuccess;
    };

    // Paths as typed, through ".." and a link: the register knows the items by their own paths.
    fs::create_directory_symlink(sandbox.host("C:\\Docs"), sandbox.host("C:\\DocsLink"));
    page->AddToShredList("C:\\Docs\\Inner\\..\\nopx.gkg.TSL");
    page->AddToShredList("C:\\DocsLink\\Inner");
    page->AddToShredList("C:\\DocsLink\\Fnsr.TSL\\");
    confirmShred(3);
    waitForRun();
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\Fnsr.TSL"));
    const auto items = core::GetLockedTSLFiles(registerPath, prompt);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].key, "C:\\Other\\xrrc.gkg.TSL");
    const auto folders = core::GetLockedFolders(registerPath, prompt);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].key, "C:\\Other\\Xrrc.TSL");
    EXPECT_FALSE(stored(safePassword));
    EXPECT_TRUE(stored(keepPassword));
}

TEST_F(ShredderPageTest, AFailedItemIsNamedAtTheEnd) {
    sandbox.writeFile("C:\\a.txt", "a");
    page->AddToShredList("C:\\a.txt\\below"); // "a.txt" is not a folder
    page->AddToShredList("C:\\a.txt");
    page->AddToShredList("C:\\missing.txt"); // gone items are skipped
    confirmShred(3);
    waitForRun();
    EXPECT_FALSE(sandbox.exists("C:\\a.txt"));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "These items could not be shredded:\r\n\r\n'C:\\a.txt\\below': Not a directory");
    EXPECT_EQ(prompt.last().icon, Icon::Critical);
}

TEST_F(ShredderPageTest, TheScheduleEmptiesTheFolderThatWasSetCountingFromSet) {
    std::int64_t now = 1'000'000;
    page->schedule().clock = [&now] { return now; };
    sandbox.writeFile("C:\\Temp\\a.txt", "a");
    sandbox.writeFile("C:\\Temp\\Sub\\b.txt", "b");
    // A link named as the folder stands for its target.
    fs::create_directory_symlink(sandbox.host("C:\\Temp"), sandbox.host("C:\\TempLink"));
    find<QLineEdit>("txtShredFolder")->setText(QStringLiteral("C:\\TempLink"));

    // Nothing is Set yet: the boxes alone shred nothing.
    page->timShredFolder_Timer();
    setPeriod(0, 10);
    now += 3600;
    page->timShredFolder_Timer();
    EXPECT_FALSE(page->isRunning());

    confirmSet("C:\\TempLink", "10 min", now + 600);
    const std::int64_t setAt = now;
    EXPECT_EQ(text("lblScheduleStatus"),
              "The folder 'C:\\TempLink' will be emptied every 10 min. Next run: " + minuteOf(setAt + 600) + ".");
    // Text typed after Set is not what runs.
    find<QLineEdit>("txtShredFolder")->setText(QStringLiteral("C:\\Elsewhere"));
    now += 9 * 60 + 59;
    page->timShredFolder_Timer();
    EXPECT_FALSE(page->isRunning());
    EXPECT_TRUE(sandbox.exists("C:\\Temp\\a.txt"));
    RemovedContent removed;
    now += 1; // ten minutes after Set
    QSignalSpy told(page.get(), &ShredderPage::scheduledShredFinished);
    page->timShredFolder_Timer();
    EXPECT_TRUE(page->isRunning());
    waitForRun();
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told.front().at(1).value<std::size_t>(), 3u); // a.txt, Sub, Sub\b.txt
    EXPECT_EQ(told.front().at(2).value<std::size_t>(), 0u);
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    EXPECT_TRUE(fs::is_directory(sandbox.host("C:\\Temp")));
    EXPECT_TRUE(fs::is_empty(sandbox.host("C:\\Temp")));
    EXPECT_TRUE(fs::is_symlink(sandbox.host("C:\\TempLink")));
    EXPECT_EQ(removed.of(sandbox.host("C:\\Temp\\a.txt")), firstPass(1));
    // The schedule and each sweep are written to the log with the next run, which the page shows.
    const std::string log = sandbox.readFile("C:\\home\\.local\\state\\tessaly\\Tessaly.LOG");
    EXPECT_NE(log.find(stampOf(setAt) + " Scheduled shred of 'C:\\TempLink' set: every 10 min; next run at " +
                       minuteOf(setAt + 600) + "\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(stampOf(now) + " Scheduled shred of 'C:\\TempLink': done; next run at " + minuteOf(now + 600)),
              std::string::npos)
        << log;
    EXPECT_EQ(text("lblScheduleStatus"),
              "The folder 'C:\\TempLink' will be emptied every 10 min. Next run: " + minuteOf(now + 600) + ".");

    // The next period counts from that run, and survives a restart.
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolderSince.name), std::to_string(now));
    sandbox.writeFile("C:\\Temp\\c.txt", "c");
    ShredderPage again(prompt, [] { return std::string(); });
    again.schedule().clock = [&now] { return now; };
    now += 5 * 60;
    again.timShredFolder_Timer();
    EXPECT_FALSE(again.isRunning());
    EXPECT_TRUE(sandbox.exists("C:\\Temp\\c.txt"));

    // A folder that is gone is not created again.
    fs::remove_all(sandbox.host("C:\\Temp"));
    now += 10 * 60;
    page->timShredFolder_Timer();
    EXPECT_FALSE(page->isRunning());
    EXPECT_FALSE(sandbox.exists("C:\\Temp"));
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(ShredderPageTest, TheScheduleTakesHostPathsAndWholeNumbersAndTellsOfFailures) {
    std::int64_t now = 2'000'000;
    page->schedule().clock = [&now] { return now; };
    sandbox.writeFile("C:\\Temp-Shred\\a.txt", "a");
    // Typed as a host path, the folder is stored in its drive form.
    find<QLineEdit>("txtShredFolder")->setText(QString::fromStdString(sandbox.host("C:\\Temp-Shred")));
    // The boxes take whole numbers only: what else is typed is not taken.
    for (const char* bad : {"nan", "inf", "0x10", "1e1", "5.5", "-3"}) {
        SCOPED_TRACE(bad);
        minutes()->clear();
        QTest::keyClicks(minutes(), QString::fromLatin1(bad));
        const std::string shown = minutes()->text().toStdString();
        EXPECT_EQ(shown.find_first_not_of("0123456789"), std::string::npos) << shown;
    }
    setPeriod(0, 5);
    confirmSet("C:\\Temp-Shred", "5 min", now + 300);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolder.name), "C:\\Temp-Shred");
    EXPECT_EQ(text("txtShredFolder"), "C:\\Temp-Shred");

    // A sweep that cannot shred everything says so.
    sandbox.writeFile("C:\\Elsewhere\\linked.txt", "linked");
    fs::create_hard_link(sandbox.host("C:\\Elsewhere\\linked.txt"), sandbox.host("C:\\Temp-Shred\\linked.txt"));
    now += 5 * 60;
    QSignalSpy told(page.get(), &ShredderPage::scheduledShredFinished);
    page->timShredFolder_Timer();
    waitForRun();
    // The shell hears of it (for a desktop notification): what was removed and what failed.
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told.front().at(0).value<std::string>(), "C:\\Temp-Shred");
    EXPECT_EQ(told.front().at(1).value<std::size_t>(), 1u); // a.txt removed
    EXPECT_EQ(told.front().at(2).value<std::size_t>(), 1u); // linked.txt
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "The scheduled shred of 'C:\\Temp-Shred' did not finish.\r\n\r\n"
                                  "These items could not be shredded:\r\n\r\n'C:\\Temp-Shred\\linked.txt' has other "
                                  "names on this disk (hard links); it was not shredded, so that their content stays.");
    EXPECT_FALSE(sandbox.exists("C:\\Temp-Shred\\a.txt"));
    EXPECT_EQ(sandbox.readFile("C:\\Elsewhere\\linked.txt"), "linked");
}

TEST_F(ShredderPageTest, CancelStopsBeforeTheNextItemAndKeepsTheRestListed) {
    for (const char* name : {"C:\\one.txt", "C:\\two.txt", "C:\\three.txt"}) {
        sandbox.writeFile(name, name);
        page->AddToShredList(name);
    }
    // The worker holds after its first file until the window has pressed Cancel.
    std::atomic<bool> reached{false};
    std::promise<void> pressed;
    std::shared_future<void> pressedSignal = pressed.get_future().share();
    shredder::SetShredTestHooks({nullptr, [&](int, const std::string&, const std::string&) {
                                     reached = true;
                                     pressedSignal.wait();
                                 }});
    confirmShred(3);
    QElapsedTimer clock;
    clock.start();
    while (!reached && clock.elapsed() < 120000)
        QTest::qWait(5);
    ASSERT_TRUE(reached);
    auto* cancel = find<QPushButton>("cmdShredCancel");
    EXPECT_TRUE(cancel->isVisibleTo(page.get()));
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    // The status names the item in hand.
    while (text("lStat") != "Shredding C:\\one.txt" && clock.elapsed() < 120000)
        QTest::qWait(5);
    EXPECT_EQ(text("lStat"), "Shredding C:\\one.txt");
    QTest::mouseClick(cancel, Qt::LeftButton);
    pressed.set_value();
    waitForRun();
    shredder::SetShredTestHooks({});

    EXPECT_FALSE(sandbox.exists("C:\\one.txt"));
    EXPECT_EQ(sandbox.readFile("C:\\two.txt"), "C:\\two.txt");
    EXPECT_EQ(sandbox.readFile("C:\\three.txt"), "C:\\three.txt");
    EXPECT_EQ(page->pendingList(), (std::vector<std::string>{"C:\\two.txt", "C:\\three.txt"}));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Shredding was cancelled; 2 items were left as they were."});
    EXPECT_FALSE(cancel->isVisibleTo(page.get()));
}

TEST_F(ShredderPageTest, SetWritesTheScheduleAndANewWindowRestoresIt) {
    std::int64_t now = 6'000'000;
    page->schedule().clock = [&now] { return now; };
    sandbox.makeFolder("C:\\Temp");
    page->browseFolder = [] { return std::string("C:\\Temp"); };
    page->cmdShredBrowse_Click();
    setPeriod(2, 30);
    // Answered No (the default), the question leaves everything as it was.
    const QString shownBefore = find<QLabel>("lblScheduleStatus")->text();
    page->cmdSet_Click();
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNoDefaultNo);
    EXPECT_EQ(registry(settings::ShredFolder.name), "");
    EXPECT_EQ(find<QLabel>("lblScheduleStatus")->text(), shownBefore);
    prompt.boxes.clear();
    confirmSet("C:\\Temp", "2 h 30 min", now + 150 * 60);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolder.name), "C:\\Temp");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolderHour.name), "2");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolderMinute.name), "30");

    ShredderPage again(prompt, [] { return std::string(); });
    EXPECT_EQ(again.findChild<QLineEdit*>(QStringLiteral("txtShredFolder"))->text(), QStringLiteral("C:\\Temp"));
    EXPECT_EQ(again.findChild<QSpinBox*>(QStringLiteral("cmbHour"))->value(), 2);
    EXPECT_EQ(again.findChild<QSpinBox*>(QStringLiteral("cmbMinute"))->value(), 30);

    page->cmdShredBlank_Click();
    EXPECT_EQ(text("txtShredFolder"), "");
}

TEST_F(ShredderPageTest, EveryItemIsPinnedBeforeTheFirstIsShredded) {
    // While A is shredded, its folder is moved away and a link to another folder (with a B of its
    // own) put in its place: B is named and left alone, and so is what the link leads to.
    sandbox.writeFile("C:\\Work\\A.txt", "A");
    sandbox.writeFile("C:\\Work\\B.txt", "B in Work");
    sandbox.writeFile("C:\\Other\\B.txt", "B in Other");
    const std::string a = sandbox.host("C:\\Work\\A.txt");
    std::atomic<bool> swapped{false};
    shredder::SetShredTestHooks({nullptr, [&](int, const std::string&, const std::string& host) {
                                     if (host != a || swapped)
                                         return;
                                     fs::rename(sandbox.host("C:\\Work"), sandbox.host("C:\\Moved"));
                                     fs::create_directory_symlink(sandbox.host("C:\\Other"), sandbox.host("C:\\Work"));
                                     swapped = true;
                                 }});
    page->AddToShredList("C:\\Work\\A.txt");
    page->AddToShredList("C:\\Work\\B.txt");
    confirmShred(2);
    waitForRun();
    shredder::SetShredTestHooks({});

    ASSERT_TRUE(swapped);
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"These items could not be shredded:\r\n\r\n'C:\\Work\\B.txt' is "
                                                       "reached through a link that was put into its path; it was "
                                                       "left alone."});
    EXPECT_EQ(sandbox.readFile("C:\\Other\\B.txt"), "B in Other");
    EXPECT_EQ(sandbox.readFile("C:\\Moved\\B.txt"), "B in Work");
    EXPECT_FALSE(sandbox.exists("C:\\Moved\\A.txt"));
}

TEST_F(ShredderPageTest, TheScheduleEmptiesOnlyTheFolderThatWasSet) {
    std::int64_t now = 3'000'000;
    page->schedule().clock = [&now] { return now; };
    sandbox.writeFile("C:\\Temp\\junk.txt", "junk");
    sandbox.writeFile("C:\\Other\\keep.txt", "keep");
    find<QLineEdit>("txtShredFolder")->setText(QStringLiteral("C:\\Temp"));
    setPeriod(0, 5);
    confirmSet("C:\\Temp", "5 min", now + 300);
    // The folder's identity is kept with the schedule's other values.
    struct stat st {};
    ASSERT_EQ(::stat(sandbox.host("C:\\Temp").c_str(), &st), 0);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolderId.name),
              std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " 0");

    const std::string refused = "The scheduled shred of 'C:\\Temp' did nothing: the folder there is no longer the one "
                                "that was Set (it was moved or replaced, or a link now stands in its place). Press "
                                "Set to shred the folder that is there now.";
    // What stands at the name when the sweep is due: a link to another folder, another folder, and
    // (the last) the folder that was Set, back in its place.
    const struct {
        const char* what;
        bool link;
        bool otherFolder;
    } cases[] = {{"a link", true, false}, {"another folder", false, true}, {"the folder Set", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::rename(sandbox.host("C:\\Temp"), sandbox.host("C:\\Set"));
        if (c.link)
            fs::create_directory_symlink(sandbox.host("C:\\Other"), sandbox.host("C:\\Temp"));
        else if (c.otherFolder)
            fs::rename(sandbox.host("C:\\Other"), sandbox.host("C:\\Temp"));
        else
            fs::rename(sandbox.host("C:\\Set"), sandbox.host("C:\\Temp"));
        prompt.boxes.clear();
        now += 5 * 60;
        page->timShredFolder_Timer();
        waitForRun();
        if (!c.link && !c.otherFolder) {
            EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
            EXPECT_FALSE(sandbox.exists("C:\\Temp\\junk.txt"));
            break;
        }
        EXPECT_EQ(prompt.texts(), std::vector<std::string>{refused});
        const std::string log = sandbox.readFile("C:\\home\\.local\\state\\tessaly\\Tessaly.LOG");
        EXPECT_NE(log.find(stampOf(now) + " " + refused), std::string::npos) << log;
        EXPECT_EQ(sandbox.readFile("C:\\Set\\junk.txt"), "junk");
        EXPECT_EQ(testing_support::readHostFile(sandbox.host("C:\\Temp") + "/keep.txt"), "keep");
        // Put back as it was.
        if (c.link)
            fs::remove(sandbox.host("C:\\Temp"));
        else
            fs::rename(sandbox.host("C:\\Temp"), sandbox.host("C:\\Other"));
        fs::rename(sandbox.host("C:\\Set"), sandbox.host("C:\\Temp"));
    }

    // A schedule whose folder's identity was never kept (Set by an older version) runs nothing.
    sandbox.writeFile("C:\\Temp\\more.txt", "more");
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolderId.name, "");
    ShredderPage restored(prompt, [] { return std::string(); });
    restored.schedule().clock = [&now] { return now; };
    prompt.boxes.clear();
    now += 5 * 60;
    restored.timShredFolder_Timer();
    EXPECT_FALSE(restored.isRunning());
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{refused});
    EXPECT_EQ(sandbox.readFile("C:\\Temp\\more.txt"), "more");
}

TEST_F(ShredderPageTest, SetRefusesWhatTheScheduleWouldNotDo) {
    sandbox.makeFolder("C:\\Temp");
    sandbox.writeFile("C:\\file.txt", "f");
    const std::string tooShort = "The shortest period is 5 min. Choose 5 min or more, or 0 h 0 min for no schedule.";
    const struct {
        const char* folder;
        int hour;
        int minute;
        std::string message;
    } cases[] = {
        {"C:\\Temp", 0, 1, tooShort},
        {"C:\\Temp", 0, 4, tooShort},
        {"C:\\Missing", 0, 10, "The folder 'C:\\Missing' does not exist. Choose a folder that exists."},
        {"C:\\Temp\\Gone\\Deeper", 1, 0,
         "The folder 'C:\\Temp\\Gone\\Deeper' does not exist. Choose a folder that exists."},
        {"C:\\file.txt", 1, 0, "'C:\\file.txt' is not a folder. Choose a folder to empty."},
    };
    const QString shownBefore = find<QLabel>("lblScheduleStatus")->text();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " " + std::to_string(c.hour) + "/" + std::to_string(c.minute));
        prompt.boxes.clear();
        find<QLineEdit>("txtShredFolder")->setText(QString::fromLatin1(c.folder));
        setPeriod(c.hour, c.minute);
        QTest::mouseClick(find<QPushButton>("cmdSet"), Qt::LeftButton);
        ASSERT_EQ(prompt.texts(), std::vector<std::string>{c.message});
        EXPECT_EQ(prompt.last().icon, Icon::Critical);
        // Nothing was saved, and the page still shows what was in place.
        EXPECT_EQ(registry(settings::ShredFolder.name), "");
        EXPECT_EQ(registry(settings::ShredFolderHour.name), "");
        EXPECT_EQ(registry(settings::ShredFolderMinute.name), "");
        EXPECT_EQ(find<QLabel>("lblScheduleStatus")->text(), shownBefore);
    }
    EXPECT_FALSE(sandbox.exists("C:\\Missing"));
    EXPECT_FALSE(sandbox.exists("C:\\Temp\\Gone"));

    // The minimum itself is taken, and runs at that period.
    std::int64_t now = 4'000'000;
    page->schedule().clock = [&now] { return now; };
    sandbox.writeFile("C:\\Temp\\junk.txt", "junk");
    prompt.boxes.clear();
    find<QLineEdit>("txtShredFolder")->setText(QStringLiteral("C:\\Temp"));
    setPeriod(0, 5);
    confirmSet("C:\\Temp", "5 min", now + 300);
    EXPECT_EQ(registry(settings::ShredFolderMinute.name), "5");
    now += 5 * 60;
    page->timShredFolder_Timer();
    waitForRun();
    EXPECT_FALSE(sandbox.exists("C:\\Temp\\junk.txt"));
}

TEST_F(ShredderPageTest, SetSaysWhatItPutInPlace) {
    std::int64_t now = 5'000'000;
    page->schedule().clock = [&now] { return now; };
    sandbox.makeFolder("C:\\Temp");
    auto* status = find<QLabel>("lblScheduleStatus");
    EXPECT_EQ(status->text(), QStringLiteral("No folder is emptied on a schedule."));
    const struct {
        const char* folder;
        int hour;
        int minute;
        const char* period; // as the question and the page say it; "" for no schedule
    } cases[] = {
        {"C:\\Temp", 2, 30, "2 h 30 min"},
        {"C:\\Temp", 1, 0, "1 h"},
        {"C:\\Temp", 0, 45, "45 min"},
        {"C:\\Temp", 0, 0, ""},
        {"", 1, 0, ""},
        {"C:\\Temp", 24, 50, "24 h 50 min"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " " + std::to_string(c.hour) + "/" + std::to_string(c.minute));
        now += 1000;
        find<QLineEdit>("txtShredFolder")->setText(QString::fromLatin1(c.folder));
        setPeriod(c.hour, c.minute);
        const std::int64_t next = now + (c.hour * 60 + c.minute) * 60;
        if (*c.period) {
            confirmSet(c.folder, c.period, next);
            EXPECT_EQ(status->text().toStdString(), std::string("The folder 'C:\\Temp' will be emptied every ") +
                                                        c.period + ". Next run: " + minuteOf(next) + ".");
        } else {
            // Switching the schedule off asks nothing.
            QTest::mouseClick(find<QPushButton>("cmdSet"), Qt::LeftButton);
            EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
            EXPECT_EQ(status->text(), QStringLiteral("No folder is emptied on a schedule."));
        }
        EXPECT_EQ(registry(settings::ShredFolder.name), c.folder);
    }
    // The next start shows the schedule it restored, counting from when it was Set.
    const std::int64_t setAt = now;
    ShredderPage again(prompt, [] { return std::string(); });
    EXPECT_EQ(again.findChild<QLabel*>(QStringLiteral("lblScheduleStatus"))->text().toStdString(),
              "The folder 'C:\\Temp' will be emptied every 24 h 50 min. Next run: " +
                  minuteOf(setAt + (24 * 60 + 50) * 60) + ".");
    // A shorter period kept by an older version is shown as the minimum it runs at.
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolderHour.name, "0");
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredFolderMinute.name, "1");
    ShredderPage older(prompt, [] { return std::string(); });
    EXPECT_EQ(older.findChild<QLabel*>(QStringLiteral("lblScheduleStatus"))->text().toStdString(),
              "The folder 'C:\\Temp' will be emptied every 5 min. Next run: " + minuteOf(setAt + 5 * 60) + ".");
}

TEST_F(ShredderPageTest, DeleteAndRemoveFromListTakeItemsOffTheListOnly) {
    const std::vector<std::string> items = {"C:\\a.txt", "C:\\b.txt", "C:\\c.txt", "C:\\d.txt"};
    for (const auto& path : items) {
        sandbox.writeFile(path, path);
        page->AddToShredList(path);
    }
    auto* list = find<QListWidget>("lstFiles");
    auto* remove = find<QAction>("mnuRemoveFromList");
    // The list's context menu offers the action, by its text.
    EXPECT_EQ(list->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_TRUE(list->actions().contains(remove));
    EXPECT_EQ(remove->text(), QStringLiteral("Remove from List"));
    EXPECT_FALSE(remove->isEnabled()); // nothing selected

    // Delete removes the selected item; the next one is selected, so Delete can go on.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(page->pendingList(), (std::vector<std::string>{"C:\\a.txt", "C:\\c.txt", "C:\\d.txt"}));
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("C:\\c.txt"));
    EXPECT_EQ(text("lFC"), "There are 3 files ready for deleting!");
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_TRUE(list->item(1)->isSelected());

    // The context menu's action removes every selected item.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(list->selectedItems().size(), 2);
    EXPECT_TRUE(remove->isEnabled());
    remove->trigger();
    EXPECT_EQ(page->pendingList(), std::vector<std::string>{"C:\\c.txt"});
    EXPECT_EQ(text("lFC"), "There is 1 file ready for deleting!");
    EXPECT_EQ(text("lStat"), "Ready...");

    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_TRUE(page->pendingList().empty());
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(text("lFC"), "");
    EXPECT_EQ(text("lStat"), "");
    EXPECT_EQ(text("txtFileName"), "");
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    QTest::keyClick(list, Qt::Key_Delete); // an empty list: nothing happens
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    // Only the list changed: every file is still there.
    for (const auto& path : items)
        EXPECT_EQ(sandbox.readFile(path), path);
}

TEST_F(ShredderPageTest, TheListStaysAsItIsWhileARunGoesOn) {
    for (const char* name : {"C:\\one.txt", "C:\\two.txt"}) {
        sandbox.writeFile(name, name);
        page->AddToShredList(name);
    }
    // The worker holds inside its first file until the list has been tried.
    std::atomic<bool> reached{false};
    std::promise<void> tried;
    std::shared_future<void> triedSignal = tried.get_future().share();
    shredder::SetShredTestHooks({nullptr, [&](int, const std::string&, const std::string&) {
                                     if (!reached.exchange(true))
                                         triedSignal.wait();
                                 }});
    confirmShred(2);
    QElapsedTimer clock;
    clock.start();
    while (!reached && clock.elapsed() < 120000)
        QTest::qWait(5);
    ASSERT_TRUE(reached);
    auto* list = find<QListWidget>("lstFiles");
    list->setCurrentRow(1);
    EXPECT_FALSE(find<QAction>("mnuRemoveFromList")->isEnabled());
    QTest::keyClick(list, Qt::Key_Delete);
    page->RemoveSelectedFromList();
    EXPECT_EQ(page->pendingList(), (std::vector<std::string>{"C:\\one.txt", "C:\\two.txt"}));
    tried.set_value();
    waitForRun();
    shredder::SetShredTestHooks({});
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    EXPECT_FALSE(sandbox.exists("C:\\one.txt"));
    EXPECT_FALSE(sandbox.exists("C:\\two.txt"));
    EXPECT_TRUE(page->pendingList().empty());
}

TEST_F(ShredderPageTest, TheSecurityLevelIsRememberedForTheNextStart) {
    auto* level = find<QComboBox>("cmbOver");
    EXPECT_EQ(level->currentIndex(), 0);
    QTest::keyClick(level, Qt::Key_Down);
    QTest::keyClick(level, Qt::Key_Down);
    ASSERT_EQ(level->currentIndex(), 2);
    EXPECT_EQ(GetLong(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredLevel.name, -1), 2);
    {
        ShredderPage again(prompt, [] { return std::string(); });
        EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("cmbOver"))->currentIndex(), 2);
    }
    QTest::keyClick(level, Qt::Key_Up);
    EXPECT_EQ(GetLong(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredLevel.name, -1), 1);
    {
        ShredderPage again(prompt, [] { return std::string(); });
        EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("cmbOver"))->currentIndex(), 1);
    }
    // A value that names no level starts at the first.
    for (std::int32_t stored : {7, -1}) {
        SCOPED_TRACE(stored);
        SaveLong(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredLevel.name, stored);
        ShredderPage again(prompt, [] { return std::string(); });
        EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("cmbOver"))->currentIndex(), 0);
        // Restoring writes nothing.
        EXPECT_EQ(GetLong(HKEY_CURRENT_USER, settings::kAppKey, settings::ShredLevel.name, 0), stored);
    }
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
}
