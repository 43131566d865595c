// The viewer's page driven as a user would: Browse, the count, the sheet's grid and scroll bar,
// selection, Edit and double click, locked folders, and a Browse that replaces a running build.
#include "viewer/ImageViewerPage.h"

#include "viewer/ThumbSheet.h"
#include "viewer/ThumbnailModel.h"
#include "viewer/basThumbs.h"

#include "ViewerTestSupport.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "support/OpenerStub.h"
#include "support/ScriptedPrompt.h"

#include <QAccessible>
#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <QWheelEvent>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace viewer;
using viewer_test::writePicture;

namespace {

class PageTest : public viewer_test::ViewerTest {
protected:
    PageTest() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        page.setFolderPicker([this](QWidget*) { return nextFolder; });
        page.resize(600, 500);
        page.show();
    }

    // A folder of n small pictures "img0000.png"...; returns its Windows-form path.
    std::string pictures(const std::string& folder, int n) {
        const std::string host = sandbox.host(folder);
        std::filesystem::create_directories(host);
        writePicture(host + "/proto.png", 20, 15);
        for (int i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/img%04d.png", i);
            std::filesystem::copy_file(host + "/proto.png", host + name);
        }
        std::filesystem::remove(host + "/proto.png");
        return folder;
    }

    void browse(const std::string& folder) {
        nextFolder = folder;
        page.findChild<QAction*>(QStringLiteral("Browse"))->trigger();
    }

    bool waitForBuild() {
        return QTest::qWaitFor([this] { return !page.isBuilding(); }, 20000);
    }

    std::vector<std::string> shownNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < page.model()->rowCount(); ++i)
            names.push_back(page.model()->fileName(i));
        return names;
    }

    QPoint cellCentre(int row) const { return page.sheet()->visualRect(page.model()->index(row)).center(); }

    testing_support::ScriptedPrompt prompt;
    ImageViewerPage page{prompt};
    std::string nextFolder;
};

} // namespace

TEST_F(PageTest, BrowseShowsTheFolderCountsItsImagesAndSkipsWhatCannotBeRead) {
    sandbox.makeFolder("C:\\Pics");
    writePicture(sandbox.host("C:\\Pics\\beach.jpg"), 400, 300);
    writePicture(sandbox.host("C:\\Pics\\cat.png"), 40, 30);
    sandbox.writeFile("C:\\Pics\\damaged.gif", "GIF89a but nothing after");
    sandbox.writeFile("C:\\Pics\\notes.txt", "not an image");
    QSignalSpy panel(&page, &ImageViewerPage::panelTextChanged);
    QSignalSpy progressShown(&page, &ImageViewerPage::progressShown);
    QSignalSpy progress(&page, &ImageViewerPage::progressChanged);

    browse("C:\\Pics");
    EXPECT_EQ(page.lblCount()->text(), QStringLiteral("No. of Images: 3")); // at once, before any picture
    ASSERT_TRUE(waitForBuild());

    // Once done, the count says what it showed and names what it could not read.
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"beach.jpg", "cat.png"}));
    EXPECT_EQ(page.lblCount()->text(), QStringLiteral("No. of Images: 3 (2 shown, 1 could not be read)"));
    EXPECT_EQ(page.lblCount()->toolTip(), QStringLiteral("Could not be read:\ndamaged.gif"));
    EXPECT_EQ(page.lblCount()->accessibleDescription(), page.lblCount()->toolTip());
    ASSERT_GE(panel.count(), 1);
    EXPECT_EQ(panel.first().at(0).toString(), QStringLiteral("C:\\Pics\\"));
    ASSERT_EQ(progressShown.count(), 2);
    EXPECT_TRUE(progressShown.at(0).at(0).toBool());
    EXPECT_FALSE(progressShown.at(1).at(0).toBool());
    EXPECT_EQ(progress.last().at(0).toInt(), 100);
    // Items carry the buttons' names and texts.
    const QModelIndex second = page.model()->index(1);
    EXPECT_EQ(second.data(ThumbnailModel::NameRole).toString(), QStringLiteral("optThumb(1)"));
    EXPECT_EQ(second.data(Qt::DisplayRole).toString(), QStringLiteral("cat.png"));
    EXPECT_EQ(page.model()->picture(1).size(), QSize(40, 30));
}

TEST_F(PageTest, AnEmptyFolderShowsNoImages) {
    sandbox.makeFolder("C:\\Empty");
    sandbox.writeFile("C:\\Empty\\readme.txt", "x");
    browse("C:\\Empty");
    ASSERT_TRUE(waitForBuild());
    EXPECT_EQ(page.lblCount()->text(), QStringLiteral("No. of Images: 0"));
    EXPECT_TRUE(page.lblCount()->toolTip().isEmpty());
    EXPECT_EQ(page.model()->rowCount(), 0);
    EXPECT_FALSE(page.sheet()->verticalScrollBar()->isEnabled());
}

TEST_F(PageTest, ThousandsOfImagesAreCountedWithASeparatorAndAllShown) {
    browse(pictures("C:\\Many", 1234));
    EXPECT_EQ(page.lblCount()->text(), QStringLiteral("No. of Images: 1,234"));
    ASSERT_TRUE(waitForBuild());
    EXPECT_EQ(page.lblCount()->text(), QStringLiteral("No. of Images: 1,234")); // every one read
    EXPECT_EQ(page.model()->rowCount(), 1234);
    EXPECT_EQ(page.model()->fileName(1233), "img1233.png");
}

TEST_F(PageTest, AFolderThatIsNotAPlainFolderCannotBeViewed) {
    sandbox.makeFolder("C:\\Cevingr.TSL");
    for (const char* folder : {"C:\\Cevingr.TSL", "C:\\Nowhere"}) {
        browse(folder);
        ASSERT_EQ(prompt.boxes.size(), 1u) << folder;
        EXPECT_EQ(prompt.last().text, "Sorry you cannot view images in a locked folder.");
        EXPECT_EQ(prompt.last().buttons, platform::Buttons::OK);
        EXPECT_EQ(prompt.last().icon, platform::Icon::None);
        EXPECT_EQ(prompt.last().title, "Tessaly");
        EXPECT_EQ(page.folder(), "");
        prompt.boxes.clear();
    }
    browse(""); // the dialog cancelled: nothing happens
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(PageTest, TheGridIsLaidRowByRowAndAgainWhenTheWidthChanges) {
    browse(pictures("C:\\Grid", 20));
    ASSERT_TRUE(waitForBuild());
    ThumbSheet* sheet = page.sheet();
    for (int width : {600, 300}) {
        page.resize(width, 500);
        QTest::qWait(20);
        const int columns = sheet->viewport()->width() / kCellWidth;
        ASSERT_GE(columns, 2);
        EXPECT_EQ(sheet->columns(), columns);
        for (int i = 0; i < 20; ++i) {
            const QRect cell = sheet->visualRect(page.model()->index(i));
            EXPECT_EQ(cell.topLeft(), QPoint((i % columns) * kCellWidth, (i / columns) * kCellHeight))
                << "width " << width << " item " << i;
            EXPECT_EQ(cell.size(), QSize(kCellWidth, kCellHeight));
        }
    }
    // Taller than the window: the scroll bar is on, a small step is one thumbnail high.
    page.resize(300, 200);
    QTest::qWait(20);
    QScrollBar* bar = sheet->verticalScrollBar();
    EXPECT_EQ(bar->objectName(), QStringLiteral("vsbSlide"));
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->singleStep(), kCellHeight);
    EXPECT_EQ(bar->maximum(),
              (20 + sheet->columns() - 1) / sheet->columns() * kCellHeight - sheet->viewport()->height());
}

TEST_F(PageTest, LongNamesAreCutToTheButtonWithDots) {
    const std::string host = sandbox.host(sandbox.makeFolder("C:\\Names"));
    writePicture(host + "/A very long name for a holiday picture by the lake.png", 10, 10);
    writePicture(host + "/b.png", 10, 10);
    browse("C:\\Names");
    ASSERT_TRUE(waitForBuild());
    const QString cut = QString::fromLocal8Bit(page.model()->caption(0));
    EXPECT_TRUE(cut.endsWith(QStringLiteral("..."))) << cut.toStdString();
    EXPECT_TRUE(QStringLiteral("A very long name for a holiday picture by the lake.png").startsWith(cut.chopped(3)));
    EXPECT_LE(QFontMetrics(page.sheet()->font()).horizontalAdvance(cut), page.sheet()->captionWidth());
    EXPECT_EQ(page.model()->caption(1), "b.png");
}

TEST_F(PageTest, AClickSelectsAndADoubleClickOpensLikeEdit) {
    const std::string host = sandbox.host(sandbox.makeFolder("C:\\Open"));
    for (const char* name : {"a.png", "b.png", "c.png"})
        writePicture(host + "/" + name, 10, 10);
    testing_support::OpenerStub opener(sandbox);
    QSignalSpy panel(&page, &ImageViewerPage::panelTextChanged);
    QSignalSpy tip(&page, &ImageViewerPage::panelToolTipChanged);
    browse("C:\\Open");
    ASSERT_TRUE(waitForBuild());

    // Edit before any click opens the first image.
    page.findChild<QAction*>(QStringLiteral("Edit"))->trigger();
    ASSERT_EQ(opener.calls(1), (std::vector<std::string>{host + "/a.png"}));

    QTest::mouseClick(page.sheet()->viewport(), Qt::LeftButton, {}, cellCentre(1));
    EXPECT_EQ(page.selectedIndex(), 1);
    EXPECT_EQ(panel.last().at(0).toString(), QStringLiteral("C:\\Open\\b.png"));
    EXPECT_EQ(tip.last().at(0).toString(), QStringLiteral("C:\\Open\\b.png"));
    page.findChild<QAction*>(QStringLiteral("Edit"))->trigger();
    ASSERT_EQ(opener.calls(2).back(), host + "/b.png");

    // A double click arrives as a press and release followed by the double click itself.
    QTest::mouseClick(page.sheet()->viewport(), Qt::LeftButton, {}, cellCentre(2));
    QTest::mouseDClick(page.sheet()->viewport(), Qt::LeftButton, {}, cellCentre(2));
    EXPECT_EQ(page.selectedIndex(), 2);
    const auto calls = opener.calls(3);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls.back(), host + "/c.png");

    // From the keyboard: the arrows move the choice, Enter and Return open it (Enter on the keypad too).
    page.sheet()->setFocus();
    QTest::keyClick(page.sheet(), Qt::Key_Left);
    EXPECT_EQ(page.selectedIndex(), 1);
    QTest::keyClick(page.sheet(), Qt::Key_Return);
    ASSERT_EQ(opener.calls(4).back(), host + "/b.png");
    QTest::keyClick(page.sheet(), Qt::Key_Left);
    QTest::keyClick(page.sheet(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(opener.calls(5).back(), host + "/a.png");
    QTest::keyClick(page.sheet(), Qt::Key_Right);

    // The selection survives a rebuild.
    page.findChild<QAction*>(QStringLiteral("Refresh"))->trigger();
    ASSERT_TRUE(waitForBuild());
    EXPECT_EQ(page.selectedIndex(), 1);
    EXPECT_EQ(page.sheet()->currentIndex().row(), 1);
}

// The choice stays on the image: a thumbnail that comes in before it (here a new picture read by
// Refresh) does not move Edit to another file.
TEST_F(PageTest, TheChoiceStaysOnTheImageWhenThumbnailsComeInBeforeIt) {
    const std::string host = sandbox.host(sandbox.makeFolder("C:\\Pics"));
    writePicture(host + "/a.png", 10, 10);
    writePicture(host + "/c.png", 10, 10);
    testing_support::OpenerStub opener(sandbox);
    browse("C:\\Pics");
    ASSERT_TRUE(waitForBuild());
    ASSERT_EQ(shownNames(), (std::vector<std::string>{"a.png", "c.png"}));
    QTest::mouseClick(page.sheet()->viewport(), Qt::LeftButton, {}, cellCentre(1));
    ASSERT_EQ(page.model()->fileName(page.sheet()->currentIndex().row()), "c.png");

    writePicture(host + "/b.png", 10, 10);
    page.findChild<QAction*>(QStringLiteral("Refresh"))->trigger();
    ASSERT_TRUE(waitForBuild());
    ASSERT_EQ(shownNames(), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(page.selectedIndex(), 2);
    EXPECT_EQ(page.sheet()->currentIndex().row(), 2);
    page.findChild<QAction*>(QStringLiteral("Edit"))->trigger();
    EXPECT_EQ(opener.calls(1), (std::vector<std::string>{host + "/c.png"}));
}

TEST_F(PageTest, ANewBrowseReplacesTheRunningBuildWithoutStaleThumbnails) {
    // Large PNG pictures (PNG cannot be decoded at a reduced size): the build is still running when
    // its first thumbnails are in.
    const std::string big = sandbox.host(sandbox.makeFolder("C:\\Big"));
    writePicture(big + "/proto.png", 3000, 2000);
    for (int i = 0; i < 80; ++i)
        std::filesystem::copy_file(big + "/proto.png", big + "/big" + std::to_string(i) + ".png");
    std::filesystem::remove(big + "/proto.png");
    const std::string small = sandbox.host(sandbox.makeFolder("C:\\Small"));
    writePicture(small + "/one.png", 10, 10);
    writePicture(small + "/two.png", 10, 10);

    browse("C:\\Big");
    ASSERT_TRUE(QTest::qWaitFor([this] { return page.model()->rowCount() > 0; }, 10000));
    ASSERT_TRUE(page.isBuilding());
    browse("C:\\Small");
    EXPECT_EQ(page.lblCount()->text(), QStringLiteral("No. of Images: 2"));
    ASSERT_TRUE(waitForBuild());
    QTest::qWait(300); // pictures of the old build still being read when it was cancelled
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"one.png", "two.png"}));
    EXPECT_EQ(page.folder(), "C:\\Small");
}

TEST_F(PageTest, TheToolbarHasItsButtonsInOrder) {
    QStringList keys;
    QStringList captions;
    QStringList tips;
    for (QAction* a : page.tbrMain()->actions()) {
        keys << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        captions << a->text();
        tips << (a->isSeparator() ? QString() : a->toolTip());
    }
    EXPECT_EQ(keys, (QStringList{QStringLiteral("Browse"), QStringLiteral("Edit"), QStringLiteral("Refresh"),
                                 QStringLiteral("-"), QStringLiteral("Show")}));
    EXPECT_EQ(captions.mid(0, 3),
              (QStringList{QStringLiteral("&Browse"), QStringLiteral("&Edit"), QStringLiteral("&Refresh")}));
    EXPECT_EQ(tips.mid(0, 3),
              (QStringList{QStringLiteral("Select a Folder"), QStringLiteral("Open selected image in an Editor"),
                           QStringLiteral("Refresh Thumbnails")}));
    // The button that minimises the window says so, and every button is known by its caption.
    EXPECT_EQ(captions.at(4), QStringLiteral("&Minimize"));
    EXPECT_EQ(tips.at(4), QStringLiteral("Minimize the window"));
    for (QAction* a : page.tbrMain()->actions()) {
        if (a->isSeparator())
            continue;
        QWidget* button = page.tbrMain()->widgetForAction(a);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name),
                  QString(a->text()).remove(QLatin1Char('&')))
            << a->objectName().toStdString();
    }
}

namespace {

void ctrlWheel(ThumbSheet* sheet, int eighths, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    const QPointF at = sheet->viewport()->rect().center();
    QWheelEvent wheel(at, sheet->viewport()->mapToGlobal(at), QPoint(), QPoint(0, eighths), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(sheet->viewport(), &wheel);
}

} // namespace

// The thumbnail size: the slider (labelled, for assistive technology) and Ctrl + wheel set it; the
// cells and pictures follow, the pictures read again at the size; the size is kept in the settings.
TEST_F(PageTest, TheThumbnailSizeFollowsTheSliderAndCtrlWheelAndIsKept) {
    const std::string host = sandbox.host(sandbox.makeFolder("C:\\Sizes"));
    writePicture(host + "/wide.png", 600, 300);
    writePicture(host + "/tiny.png", 40, 30);
    browse("C:\\Sizes");
    ASSERT_TRUE(waitForBuild());
    auto* slider = page.findChild<QSlider*>(QStringLiteral("sldThumbSize"));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(page.findChild<QLabel*>(QStringLiteral("lblThumbSize"))->buddy(), slider);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(slider)->text(QAccessible::Name),
              QStringLiteral("Thumbnail size:"));
    EXPECT_EQ(slider->value(), kDefaultThumbnailSize);
    EXPECT_EQ(page.sheet()->cellSize(), QSize(kCellWidth, kCellHeight));
    EXPECT_EQ(page.model()->picture(1).deviceIndependentSize(), QSizeF(68, 34)); // "wide.png"

    struct Step {
        std::function<void()> act;
        int size;
    } steps[] = {
        {[&] { slider->setValue(160); }, 160},
        {[&] { ctrlWheel(page.sheet(), 120); }, 168},
        {[&] { ctrlWheel(page.sheet(), -240); }, 152},
        {[&] { ctrlWheel(page.sheet(), 60); }, 152},                  // half a notch: not yet a step
        {[&] { ctrlWheel(page.sheet(), 60); }, 160},                  // the other half
        {[&] { ctrlWheel(page.sheet(), 120, Qt::NoModifier); }, 160}, // a plain wheel scrolls
        {[&] { page.setThumbnailSize(5000); }, kMaxThumbnailSize},
        {[&] { QTest::keyClick(slider, Qt::Key_Home); }, kMinThumbnailSize},
    };
    for (const Step& step : steps) {
        step.act();
        SCOPED_TRACE(step.size);
        ASSERT_TRUE(waitForBuild());
        EXPECT_EQ(slider->value(), step.size);
        EXPECT_EQ(page.thumbnailSize(), step.size);
        EXPECT_EQ(page.sheet()->cellSize(), QSize(kCellWidth + step.size - 68, kCellHeight + step.size - 68));
        EXPECT_EQ(page.sheet()->visualRect(page.model()->index(1)).size(), page.sheet()->cellSize());
        ASSERT_EQ(shownNames(), (std::vector<std::string>{"tiny.png", "wide.png"}));
        EXPECT_EQ(page.model()->picture(1).deviceIndependentSize(), QSizeF(step.size, step.size / 2.0));
        EXPECT_EQ(page.model()->picture(0).deviceIndependentSize(), QSizeF(40, 30)); // never enlarged
        EXPECT_EQ(GetLong(HKEY_CURRENT_USER, settings::kAppKey, settings::ThumbnailSize.name), step.size);
    }

    // A new page starts at the kept size.
    page.setThumbnailSize(120);
    ASSERT_TRUE(waitForBuild());
    ImageViewerPage again(prompt);
    EXPECT_EQ(again.thumbnailSize(), 120);
    EXPECT_EQ(again.findChild<QSlider*>(QStringLiteral("sldThumbSize"))->value(), 120);
    EXPECT_TRUE(prompt.boxes.empty());
}
