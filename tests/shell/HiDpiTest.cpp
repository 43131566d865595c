// Every window fits its screen. CTest runs these tests also at QT_SCALE_FACTOR=2 on an offscreen
// screen of 1600 x 1000 pixels (800 x 500 in the program's units): a window laid out for a normal
// screen is taller than that one. Each window is opened as the program opens it; its least size must
// leave room for a window manager's frame, it must lie wholly (with the frame its platform gives it)
// on the screen's available area, and show each of its labels, buttons and boxes whole (none
// squeezed below its own least size).

#include "ShellTestSupport.h"

#include "favourites/frmExportIEFav.h"
#include "favourites/frmFavAdd.h"
#include "favourites/frmImportIEFav.h"
#include "locking/frmFilePassword.h"
#include "locking/frmSecurityVault.h"
#include "options/frmOptions.h"
#include "shell/AboutBox.h"
#include "shell/HelpPages.h"
#include "shell/UnlockFileWindow.h"
#include "shell/WindowPlacement.h"
#include "shell/frmNewPassword.h"
#include "shell/frmPassword.h"
#include "shell/frmProgress.h"
#include "wallet/frmPassAdd.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTabWidget>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

// Room a window manager's frame takes (a title bar and thin borders), in the program's units.
const QMargins kFrame(4, 30, 4, 4);

class HiDpiTest : public shell_test::ShellTest {
protected:
    HiDpiTest() : m_onScreen(shell_test::app()) {}

    // The window's least size, as its layout enforces it.
    static QSize leastSize(const QWidget* w) { return w->minimumSize().expandedTo(w->minimumSizeHint()); }

    // What the user must see of a shown window `w`.
    static void expectFits(QWidget* w, const std::string& name) {
        ASSERT_TRUE(w->isVisible()) << name;
        // Under a window manager the frame comes a moment after the window shows: it is waited for
        // (a window without a frame, the progress window, has none to wait for).
        if (!(w->windowFlags() & Qt::FramelessWindowHint))
            ASSERT_TRUE(QTest::qWaitFor(
                [w] {
                    const QRect outer = w->frameGeometry();
                    return outer.isValid() && outer.contains(w->geometry()) && outer != w->geometry();
                },
                20000))
                << name << " got no frame";
        const QRect area = w->screen()->availableGeometry();
        const QSize room = area.marginsRemoved(kFrame).size();
        const QSize least = leastSize(w);
        EXPECT_LE(least.width(), room.width()) << name << ": least width " << least.width();
        EXPECT_LE(least.height(), room.height()) << name << ": least height " << least.height();
        const QRect outer = w->frameGeometry();
        EXPECT_TRUE(area.contains(outer)) << name << " lies off the screen: " << outer.x() << "," << outer.y() << " "
                                          << outer.width() << "x" << outer.height();
        for (QWidget* part : w->findChildren<QWidget*>()) {
            // (The box inside a drop-down or a number box is drawn within its frame, smaller by design.)
            const QWidget* holder = part->parentWidget();
            if (!part->isVisibleTo(w) || part->window() != w || qobject_cast<const QComboBox*>(holder) ||
                qobject_cast<const QAbstractSpinBox*>(holder))
                continue;
            const bool text = qobject_cast<QLabel*>(part) || qobject_cast<QAbstractButton*>(part) ||
                              qobject_cast<QLineEdit*>(part) || qobject_cast<QComboBox*>(part);
            if (!text)
                continue;
            const auto* label = qobject_cast<QLabel*>(part);
            const QSize need = label && label->wordWrap() ? QSize(0, 0) : part->minimumSizeHint();
            const std::string what =
                name + "/" + part->objectName().toStdString() + " (" + part->metaObject()->className() + ")";
            EXPECT_GE(part->width(), need.width()) << what << " is cut";
            EXPECT_GE(part->height(), need.height()) << what << " is cut";
        }
    }

    // Shows a window as the program does and checks it.
    static void showAndCheck(QWidget* w, const std::string& name) {
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w)) << name;
        expectFits(w, name);
    }

private:
    shell::WindowsOnScreen m_onScreen;
};

// Where a window goes: inside the area with its frame, moved the least, no larger than the area
// allows unless its least size is larger.
TEST(FittedGeometryTest, AWindowIsMovedAndShrunkOntoTheArea) {
    const QRect area(0, 0, 800, 500);
    const QMargins frame(4, 30, 4, 4);
    struct Case {
        const char* what;
        QRect wanted;
        QSize least;
        QRect fitted;
    };
    const Case cases[] = {
        {"fits already", QRect(100, 100, 300, 200), QSize(10, 10), QRect(100, 100, 300, 200)},
        {"taller than the screen", QRect(0, 0, 660, 560), QSize(300, 360), QRect(4, 30, 660, 466)},
        {"past the right and bottom edges", QRect(700, 400, 300, 200), QSize(10, 10), QRect(496, 296, 300, 200)},
        {"before the left and top edges", QRect(-50, -20, 300, 200), QSize(10, 10), QRect(4, 30, 300, 200)},
        {"its least size is larger", QRect(0, 0, 900, 600), QSize(820, 480), QRect(4, 30, 820, 480)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shell::FittedGeometry(c.wanted, frame, area, c.least), c.fitted) << c.what;
}

TEST_F(HiDpiTest, TheScreenIsTheOneAskedFor) {
    // Run at scale 2 (the CTest entry), the screen is the small one: the checks below test the hard case.
    const char* scale = std::getenv("QT_SCALE_FACTOR");
    if (!scale || std::string(scale) != "2")
        GTEST_SKIP() << "only at QT_SCALE_FACTOR=2";
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->geometry().size(), QSize(800, 500));
    EXPECT_EQ(screen->devicePixelRatio(), 2.0);
}

TEST_F(HiDpiTest, TheMainWindowFitsWithEveryTab) {
    auto w = shownWindow();
    for (int i = 0; i < w->tabMain()->count(); ++i) {
        w->tabMain()->setCurrentIndex(i);
        QCoreApplication::processEvents();
        expectFits(w.get(), "frmMain tab " + w->tabMain()->tabText(i).toStdString());
    }
    prompt.answer(platform::Answer::No);
}

TEST_F(HiDpiTest, TheWindowsTheMainWindowOpensFitWithTheirCommandsInReach) {
    auto w = shownWindow();
    struct Opened {
        const char* action;
        const char* window;
        std::vector<const char*> inReach;
    };
    const Opened opened[] = {
        {"mViewLockedFolders", "frmSecurityVault", {"txtPassword1", "cmdUnlockFiles", "cmdUnlockFolder", "cmdCancel"}},
        {"mOptionsPreferences", "frmOptions", {"tbsOptions", "cmdClose"}},
        {"mnuAbout", "frmAbout", {"cmdOK"}},
    };
    for (const Opened& o : opened) {
        w->action(QString::fromLatin1(o.action))->trigger();
        QWidget* window = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                window = w->findChild<QWidget*>(QString::fromLatin1(o.window));
                return window && window->isVisible();
            },
            5000))
            << o.window;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << o.window;
        expectFits(window, o.window);
        const QRect area = window->screen()->availableGeometry();
        for (const char* name : o.inReach) {
            auto* part = window->findChild<QWidget*>(QString::fromLatin1(name));
            ASSERT_NE(part, nullptr) << name;
            EXPECT_TRUE(area.contains(QRect(part->mapToGlobal(QPoint(0, 0)), part->size())))
                << o.window << "/" << name << " is off the screen";
        }
        window->close();
    }
    prompt.answer(platform::Answer::No);
}

TEST_F(HiDpiTest, EveryOtherWindowFits) {
    auto w = shownWindow();
    const std::string locked = sandbox.writeFile("C:\\Docs\\Yrggre.gkg.TSL", "[Secret]0123456789");
    const std::string help = sandbox.host(sandbox.writeFile("C:\\Help\\index.html", "<h1>Tessaly</h1><p>Help.</p>"));
    struct Window {
        const char* name;
        std::function<QWidget*()> make;
    };
    const Window windows[] = {
        {"frmPassword", [&] { return new frmPassword(prompt); }},
        {"frmNewPassword", [&] { return new frmNewPassword(prompt); }},
        {"frmUnlockFile", [&] { return new shell::UnlockFileWindow(locked, w->registerPath(), prompt, w.get()); }},
        {"frmFilePassword", [&] { return new locking::frmFilePassword("C:\\Docs\\Letter.txt", w.get()); }},
        {"frmPassAdd",
         [&] {
             return new wallet::frmPassAdd(
                 prompt, [] {}, w.get());
         }},
        {"frmFavAdd",
         [&] {
             return new favourites::frmFavAdd(
                 prompt, [] {}, w.get());
         }},
        {"frmImportIEFav",
         [&] {
             return new favourites::frmImportIEFav(
                 prompt, [] {}, [](QWidget*, bool) { return std::string(); }, w.get());
         }},
        {"frmExportIEFav",
         [&] {
             return new favourites::frmExportIEFav(
                 prompt, [] {}, [](QWidget*, bool) { return std::string(); }, w.get());
         }},
        {"frmHelp", [&] { return new shell::HelpWindow(QUrl::fromLocalFile(QString::fromStdString(help)), w.get()); }},
    };
    for (const Window& entry : windows) {
        QPointer<QWidget> window = entry.make();
        showAndCheck(window, entry.name);
        delete window.data();
    }
    // The progress window, centred over its owner as runs show it.
    frmProgress progress(w.get());
    progress.setMessage("Locking C:\\Docs\\a rather long folder name\\and a long file name.txt");
    progress.showCentered();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
    expectFits(&progress, "frmProgress");
    prompt.answer(platform::Answer::No);
}

} // namespace
