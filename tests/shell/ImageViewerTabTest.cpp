// The image viewer on the main window: its page sits on the viewer's tab, its folder and chosen
// image go to status bar panel 2, and its progress bar stands in that panel's place while it builds.

#include "ShellTestSupport.h"

#include "core/Register.h"
#include "settings/Settings.h"
#include "shell/frmMain.h"
#include "viewer/ImageViewerPage.h"
#include "viewer/ThumbnailModel.h"

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>

namespace {

class ImageViewerTabTest : public shell_test::ShellTest {};

TEST_F(ImageViewerTabTest, TheViewerReportsToStatusBarPanelTwo) {
    sandbox.makeFolder("C:\\Pics");
    for (const char* name : {"a.png", "b.png"}) {
        QImage image(120, 90, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        ASSERT_TRUE(image.save(QString::fromLocal8Bit(sandbox.host(std::string("C:\\Pics\\") + name))));
    }
    frmMain w(prompt);
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Loaded);
    auto* page = w.fraMain(1)->findChild<viewer::ImageViewerPage*>();
    ASSERT_NE(page, nullptr);
    page->setFolderPicker([](QWidget*) { return std::string("C:\\Pics"); });
    w.tabMain()->setCurrentWidget(w.fraMain(1));
    w.show();
    auto* panel2 = w.sbrMain()->findChild<QLabel*>(QStringLiteral("sbrMainPanel2"));
    ASSERT_NE(panel2, nullptr);

    bool progressSeen = false;
    QObject::connect(page, &viewer::ImageViewerPage::progressShown, [&](bool shown) {
        if (shown)
            progressSeen = w.picProgress()->isVisible() && !panel2->isVisible();
    });
    page->toolbarClicked(QStringLiteral("Browse"));
    EXPECT_EQ(w.panelText(2), QStringLiteral("C:\\Pics\\"));
    ASSERT_TRUE(QTest::qWaitFor([page] { return !page->isBuilding(); }, 10000));
    EXPECT_TRUE(progressSeen);
    EXPECT_FALSE(w.picProgress()->isVisible());
    EXPECT_TRUE(panel2->isVisible());
    ASSERT_EQ(page->model()->rowCount(), 2);

    page->selectThumbnail(1);
    EXPECT_EQ(w.panelText(2), QStringLiteral("C:\\Pics\\b.png"));
    EXPECT_EQ(panel2->toolTip(), QStringLiteral("C:\\Pics\\b.png"));
    // Another tab empties the panel, and its tool tip goes with the text.
    w.tabMain()->setCurrentIndex(0);
    EXPECT_EQ(w.panelText(2), QString());
    EXPECT_EQ(panel2->toolTip(), QString());
}

TEST_F(ImageViewerTabTest, AFolderInsideALockedFolderIsNamedAsTheUserKnowsIt) {
    sandbox.makeFolder("C:\\Frperg.TSL\\Pics");
    frmMain w(prompt);
    ASSERT_EQ(w.Form_Load(), frmMain::LoadResult::Loaded);
    core::RecordLock(w.registerPath(), core::RegisterKind::Folder, "C:\\Secret", "C:\\Frperg.TSL");
    auto* page = w.fraMain(1)->findChild<viewer::ImageViewerPage*>();
    ASSERT_NE(page, nullptr);
    page->setFolderPicker([](QWidget*) { return std::string("C:\\Frperg.TSL\\Pics"); });
    w.tabMain()->setCurrentWidget(w.fraMain(1));
    page->toolbarClicked(QStringLiteral("Browse"));
    EXPECT_EQ(w.panelText(2), QStringLiteral("C:\\Secret (locked)\\Pics\\"));
    ASSERT_TRUE(QTest::qWaitFor([page] { return !page->isBuilding(); }, 10000));
}

} // namespace
