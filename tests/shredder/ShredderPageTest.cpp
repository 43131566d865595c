#include "shredder/ShredderPage.h"

#include "core/FolderPassword.h"
#include "core/Register.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "shredder/ShredCommands.h"

#include "ShredderTestSupport.h"
#include "support/ScriptedPrompt.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using platform::Answer;
using platform::Icon;
using shredder::ShredderPage;
using shredder_test::firstPass;
using shredder_test::keepLink;

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
        for (int i = 0; i < 2000 && page->isRunning(); ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(5);
        }
        ASSERT_FALSE(page->isRunning());
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
    EXPECT_EQ(find<QComboBox>("cmbHour")->count(), 25);
    EXPECT_EQ(find<QComboBox>("cmbMinute")->itemText(5), QStringLiteral("50"));
    EXPECT_EQ(find<QTimer>("timShredFolder")->interval(), 60000);
    EXPECT_TRUE(find<QTimer>("timShredFolder")->isActive());
    for (const char* label : {"inf", "lblHour", "lblMinute", "lblAboutShredTimer", "lblFileName"})
        EXPECT_NE(find<QLabel>(label)->buddy(), nullptr) << label;
}

TEST_F(ShredderPageTest, ShredOverwritesEveryItemAndClearsTheList) {
    sandbox.writeFile("C:\\Docs\\a.txt", std::string(100, 'a'));
    sandbox.writeFile("C:\\Docs\\big.bin", std::string(1 << 20, 'b'));
    sandbox.writeFile("C:\\Docs\\Folder\\inner.txt", std::string(700, 'c'));
    fs::permissions(sandbox.host("C:\\Docs\\a.txt"), fs::perms::owner_read);
    const std::string a = keepLink(sandbox, sandbox.host("C:\\Docs\\a.txt"), "a");
    const std::string big = keepLink(sandbox, sandbox.host("C:\\Docs\\big.bin"), "big");
    const std::string inner = keepLink(sandbox, sandbox.host("C:\\Docs\\Folder\\inner.txt"), "inner");

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

    QTest::mouseClick(find<QPushButton>("cmdShredDelete"), Qt::LeftButton);
    EXPECT_TRUE(page->isRunning());
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());
    EXPECT_TRUE(find<QProgressBar>("pb1")->isVisibleTo(page.get()));
    page->cmdShredDelete_Click(); // the busy switch: no second run
    waitForRun();

    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    EXPECT_EQ(testing_support::readHostFile(a), firstPass(100));
    EXPECT_EQ(testing_support::readHostFile(big), firstPass(1 << 20));
    EXPECT_EQ(testing_support::readHostFile(inner), firstPass(700));
    EXPECT_TRUE(fs::is_empty(sandbox.host("C:\\Docs")));
    EXPECT_TRUE(page->pendingList().empty());
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(text("lFC"), "");
    EXPECT_EQ(text("lStat"), "");
    EXPECT_EQ(text("txtFileName"), "");
    EXPECT_FALSE(find<QProgressBar>("pb1")->isVisibleTo(page.get()));
    EXPECT_FALSE(find<QPushButton>("cmdShredDelete")->isEnabled());
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
    page->cmdShredDelete_Click();
    ASSERT_TRUE(page->isRunning());
    dropFiles({sandbox.host("C:\\late.txt")});
    waitForRun();

    EXPECT_FALSE(sandbox.exists("C:\\first.bin"));
    EXPECT_EQ(sandbox.readFile("C:\\late.txt"), "late");
    EXPECT_EQ(page->pendingList(), std::vector<std::string>{"C:\\late.txt"});
    EXPECT_EQ(find<QListWidget>("lstFiles")->count(), 1);
    EXPECT_EQ(text("lFC"), "There are 1 files ready for deleting!");
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
        EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::kShredFolder), "");
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
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::kShredFolder), "");
}

TEST_F(ShredderPageTest, TheTreeCommandAsksFirst) {
    sandbox.writeFile("C:\\Tree\\a.txt", "a");
    prompt.answer(Answer::No);
    page->ShredFolderCommand("C:\\Tree");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to shred 'C:\\Tree' folder ?");
    EXPECT_EQ(prompt.last().title, "Lock Confirmation");
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_FALSE(page->isRunning());
    EXPECT_EQ(sandbox.readFile("C:\\Tree\\a.txt"), "a");

    const std::string a = keepLink(sandbox, sandbox.host("C:\\Tree\\a.txt"), "a");
    prompt.answer(Answer::Yes);
    page->ShredFolderCommand("C:\\Tree");
    waitForRun();
    EXPECT_FALSE(sandbox.exists("C:\\Tree"));
    EXPECT_EQ(testing_support::readHostFile(a), firstPass(1));

    // A locked folder that the register knows is named as the user knows it, not by its scrambled name.
    sandbox.writeFile("C:\\Frperg.TSL\\a.txt", "a");
    core::RecordLock(registerPath, settings::kSectionFolder, "C:\\Secret", "C:\\Frperg.TSL");
    prompt.answer(Answer::No);
    page->ShredFolderCommand("C:\\Frperg.TSL");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to shred 'C:\\Secret (locked)' folder ?");
    EXPECT_EQ(sandbox.readFile("C:\\Frperg.TSL\\a.txt"), "a");
}

TEST_F(ShredderPageTest, AShreddedLockedItemLeavesTheRegister) {
    sandbox.writeFile("C:\\Docs\\nopx.gkg.TSL", "[Secret]locked");
    sandbox.writeFile("C:\\Docs\\Inner\\fghss.gkg.TSL", "[Secret]locked");
    sandbox.writeFile("C:\\Other\\xrrc.gkg.TSL", "[Secret]locked");
    core::RecordLock(registerPath, settings::kSectionTSL, "C:\\Docs\\abck.txt", "C:\\Docs\\nopx.gkg.TSL");
    core::RecordLock(registerPath, settings::kSectionTSL, "C:\\Docs\\Inner\\stuff.txt",
                     "C:\\Docs\\Inner\\fghss.gkg.TSL");
    core::RecordLock(registerPath, settings::kSectionTSL, "C:\\Other\\keep.txt", "C:\\Other\\xrrc.gkg.TSL");

    // Two locked folders with their stored passwords; one holds a file locked before the folder was.
    sandbox.writeFile("C:\\Docs\\Fnsr.TSL\\qbp.gkg.TSL", "[Secret]locked");
    sandbox.makeFolder("C:\\Other\\Xrrc.TSL");
    core::RecordLock(registerPath, settings::kSectionFolder, "C:\\Docs\\Safe", "C:\\Docs\\Fnsr.TSL");
    core::RecordLock(registerPath, settings::kSectionFolder, "C:\\Other\\Keep", "C:\\Other\\Xrrc.TSL");
    core::RecordLock(registerPath, settings::kSectionTSL, "C:\\Docs\\Safe\\doc.txt", "C:\\Docs\\Safe\\qbp.gkg.TSL");
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
    page->cmdShredDelete_Click();
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
    page->cmdShredDelete_Click();
    waitForRun();
    EXPECT_FALSE(sandbox.exists("C:\\a.txt"));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "These items could not be shredded:\r\n\r\n'C:\\a.txt\\below': Not a directory");
    EXPECT_EQ(prompt.last().icon, Icon::Critical);
}

TEST_F(ShredderPageTest, TheScheduleEmptiesTheFolderOnTimeAndKeepsIt) {
    sandbox.writeFile("C:\\Temp\\a.txt", "a");
    sandbox.writeFile("C:\\Temp\\Sub\\b.txt", "b");
    const std::string a = keepLink(sandbox, sandbox.host("C:\\Temp\\a.txt"), "a");
    // A link named as the folder stands for its target.
    fs::create_directory_symlink(sandbox.host("C:\\Temp"), sandbox.host("C:\\TempLink"));
    find<QLineEdit>("txtShredFolder")->setText(QStringLiteral("C:\\TempLink"));
    find<QComboBox>("cmbHour")->setCurrentText(QStringLiteral("0"));
    find<QComboBox>("cmbMinute")->setCurrentText(QString());

    page->timShredFolder_Timer();
    EXPECT_EQ(find<QComboBox>("cmbMinute")->currentText(), QStringLiteral("0"));
    find<QComboBox>("cmbMinute")->setCurrentText(QStringLiteral("10"));
    for (int tick = 2; tick <= 9; ++tick)
        page->timShredFolder_Timer();
    EXPECT_FALSE(page->isRunning());
    EXPECT_TRUE(sandbox.exists("C:\\Temp\\a.txt"));
    page->timShredFolder_Timer(); // the tenth minute
    EXPECT_TRUE(page->isRunning());
    waitForRun();
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
    EXPECT_TRUE(fs::is_directory(sandbox.host("C:\\Temp")));
    EXPECT_TRUE(fs::is_empty(sandbox.host("C:\\Temp")));
    EXPECT_TRUE(fs::is_symlink(sandbox.host("C:\\TempLink")));
    EXPECT_EQ(testing_support::readHostFile(a), firstPass(1));

    // A folder that is gone is not created again.
    fs::remove(sandbox.host("C:\\Temp"));
    for (int tick = 1; tick <= 10; ++tick)
        page->timShredFolder_Timer();
    EXPECT_FALSE(page->isRunning());
    EXPECT_FALSE(sandbox.exists("C:\\Temp"));
    EXPECT_TRUE(prompt.boxes.empty());

    // The folder is checked again before every run.
    find<QLineEdit>("txtShredFolder")->setText(QStringLiteral("C:\\home"));
    for (int tick = 1; tick <= 10; ++tick)
        page->timShredFolder_Timer();
    EXPECT_FALSE(page->isRunning());
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{shredder::RefusalMessage("C:\\home")});
}

TEST_F(ShredderPageTest, SetWritesTheScheduleAndANewWindowRestoresIt) {
    sandbox.makeFolder("C:\\Temp");
    page->browseFolder = [] { return std::string("C:\\Temp"); };
    page->cmdShredBrowse_Click();
    find<QComboBox>("cmbHour")->setCurrentText(QStringLiteral("2"));
    find<QComboBox>("cmbMinute")->setCurrentText(QStringLiteral("30"));
    page->cmdSet_Click();
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::kShredFolder), "C:\\Temp");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::kShredFolderHour), "2");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kAppKey, settings::kShredFolderMinute), "30");

    ShredderPage again(prompt, [] { return std::string(); });
    EXPECT_EQ(again.findChild<QLineEdit*>(QStringLiteral("txtShredFolder"))->text(), QStringLiteral("C:\\Temp"));
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("cmbHour"))->currentText(), QStringLiteral("2"));
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("cmbMinute"))->currentText(), QStringLiteral("30"));

    page->cmdShredBlank_Click();
    EXPECT_EQ(text("txtShredFolder"), "");
}
