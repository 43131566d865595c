// Windows in the order the user needs them. A message shown in the middle of a run must be readable
// and answerable: the progress window, which is kept above every other window, must not cover it.
// The Options window stays above the main window, also after a message and a click on the main
// window. Under a real X server with a window
// manager the check is what the user sees: the window under the box's text and under its OK button
// is the box, and a real pointer click on OK answers it. Under offscreen only the window states are
// checked.

#include "ShellTestSupport.h"

#include "options/frmOptions.h"
#include "platform/QtPrompt.h"
#include "shell/MainWindowPortAdapter.h"
#include "shell/frmMain.h"
#include "shell/frmProgress.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// A real pointer click through the X server, where the window manager decides who gets it.
void xClick(const QPoint& at) {
    QProcess::startDetached(QStringLiteral("xdotool"),
                            {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                             QStringLiteral("click"), QStringLiteral("1")});
}

// Notes a mouse press that reaches any widget of one window.
class PressWatcher final : public QObject {
public:
    explicit PressWatcher(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    ~PressWatcher() override { qApp->removeEventFilter(this); }
    bool seen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->window() == m_window)
                seen = true;
        }
        return false;
    }

private:
    QWidget* m_window;
};

// The program's window on top at a point of the screen (null: none of ours).
QWidget* windowAt(const QPoint& at) {
    QWidget* w = QApplication::widgetAt(at);
    return w ? w->window() : nullptr;
}

// What was seen while the box was up.
struct BoxSeen {
    bool seen = false;
    QString text;
    bool progressExists = false;
    bool progressVisible = false;
    bool probesInsideProgress = false; // the probed points lie where the progress window stands
    QStringList coveredAt;             // probed points where another window than the box is on top
    bool answeredByClick = false;
    bool deadlinePassed = false;
};

class StackingTest : public shell_test::ShellTest {
protected:
    // Watches for the message box of the run and looks at the screen while it is up. On X11 the box
    // is answered with a real pointer click on its OK button; elsewhere it is answered directly.
    void watchForBox(frmMain& w, BoxSeen& seen) {
        auto* timer = new QTimer;
        timer->setInterval(20);
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        auto clicked = std::make_shared<bool>(false);
        QObject::connect(timer, &QTimer::timeout, [timer, &w, &seen, clock, clicked] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            if (*clicked) {
                // The click went somewhere else: answer the box so the run ends, and say so.
                if (clock->elapsed() > 60000) {
                    seen.deadlinePassed = true;
                    timer->stop();
                    timer->deleteLater();
                    box->done(QMessageBox::Ok);
                }
                return;
            }
            // Let the window manager map and stack the box first.
            if (onX11() && !QTest::qWaitForWindowExposed(box, 100))
                return;
            seen.seen = true;
            seen.text = box->text();
            frmProgress* progress = w.lockingPort().progressWindow();
            seen.progressExists = progress != nullptr;
            seen.progressVisible = progress && progress->isVisible();
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            const QPoint textAt = label ? label->mapToGlobal(label->rect().center()) : box->geometry().center();
            const QPoint okAt = ok->mapToGlobal(ok->rect().center());
            if (progress)
                seen.probesInsideProgress =
                    progress->frameGeometry().contains(textAt) || progress->frameGeometry().contains(okAt);
            if (!onX11()) {
                timer->stop();
                timer->deleteLater();
                box->done(QMessageBox::Ok);
                return;
            }
            for (const QPoint& at : {textAt, okAt}) {
                QWidget* top = windowAt(at);
                if (top != box)
                    seen.coveredAt << QStringLiteral("(%1,%2): %3")
                                          .arg(at.x())
                                          .arg(at.y())
                                          .arg(top ? top->objectName() : QStringLiteral("none"));
            }
            // The user's click: the pointer moves onto OK and presses there, through the X server.
            *clicked = true;
            clock->restart();
            xClick(okAt);
            QObject::connect(box, &QDialog::finished, timer, [&seen, timer] {
                seen.answeredByClick = !seen.deadlinePassed;
                timer->stop();
                timer->deleteLater();
            });
        });
        timer->start();
    }
};

TEST_F(StackingTest, AMessageOfALockRunShowsAboveTheProgressWindowAndIsAnswered) {
    sandbox.writeFile("C:\\Docs\\empty.txt", "");
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear Sam");
    platform::QtPrompt qtPrompt;
    frmMain w(qtPrompt);
    qtPrompt.setParent(&w);
    w.Form_Load();
    w.resize(900, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.browser().setCurrentFolder("C:\\Docs");
    for (int i = 0; i < shell_test::fileCount(w); ++i)
        shell_test::setFileCheck(w, i, Qt::Checked);
    shell_test::type(&w, "txtPassword1", QStringLiteral("Blue Moon 7"));
    shell_test::type(&w, "txtPassword2", QStringLiteral("Blue Moon 7"));

    BoxSeen seen;
    watchForBox(w, seen);
    QTest::mouseClick(w.button(QStringLiteral("cmdLock")), Qt::LeftButton);

    ASSERT_TRUE(seen.seen);
    EXPECT_EQ(seen.text, QStringLiteral("we can not lock the file of size 0 byte"));
    ASSERT_TRUE(seen.progressExists); // the box came in the middle of the run
    EXPECT_FALSE(seen.progressVisible);
    if (onX11()) {
        EXPECT_TRUE(seen.probesInsideProgress) << "the probe would not show a covering window";
        EXPECT_TRUE(seen.coveredAt.isEmpty()) << seen.coveredAt.join(QStringLiteral("; ")).toStdString();
        EXPECT_TRUE(seen.answeredByClick);
        EXPECT_FALSE(seen.deadlinePassed);
    }
    // The run went on after the answer: the other file is locked and the progress window is gone.
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\letter.txt"));
    EXPECT_EQ(w.lockingPort().progressWindow(), nullptr);
}

// The box steps the progress window aside only while it is up: a window of the program that is
// kept above the others comes back once the box is answered.
TEST_F(StackingTest, TheProgressWindowComesBackAfterTheBox) {
    QWidget owner;
    owner.resize(400, 300);
    owner.show();
    frmProgress progress(&owner);
    progress.setMessage("Lock in Progress. Please Wait...");
    progress.showCentered();
    ASSERT_TRUE(progress.isVisible());
    platform::QtPrompt qtPrompt(&owner);
    bool visibleDuringBox = true;
    shell_test::whenModal([&](QWidget* box) {
        visibleDuringBox = progress.isVisible();
        qobject_cast<QMessageBox*>(box)->done(QMessageBox::Ok);
    });
    EXPECT_EQ(qtPrompt.show("Password not correct", platform::Buttons::OK, platform::Icon::Information, ""),
              platform::Answer::OK);
    EXPECT_FALSE(visibleDuringBox);
    EXPECT_TRUE(progress.isVisible());
}

// Every window a tab opens is owned by the main window, so that it stays above it.
TEST_F(StackingTest, TheTabsWindowsAreOwnedByTheMainWindow) {
    frmMain w(prompt);
    w.Form_Load();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const struct {
        int tab;
        const char* button;
        const char* window;
    } cases[] = {{2, "cmdPassAdd", "frmPassAdd"},
                 {1, "cmdAdd", "frmFavAdd"},
                 {1, "cmdImportIEFav", "frmImportIEFav"},
                 {1, "cmdExportIEFav", "frmExportIEFav"}};
    for (const auto& c : cases) {
        w.tabMain()->setCurrentIndex(c.tab);
        QString name;
        QWidget* owner = nullptr;
        shell_test::whenModal([&](QWidget* modal) {
            name = modal->objectName();
            owner = modal->parentWidget();
            qobject_cast<QDialog*>(modal)->reject();
        });
        shell_test::click(w.tabMain()->currentWidget(), c.button);
        EXPECT_EQ(name, QString::fromLatin1(c.window)) << c.button;
        EXPECT_EQ(owner, &w) << c.window;
    }
}

TEST_F(StackingTest, OptionsStaysAboveTheMainWindowAfterAMessageAndAClickOnTheMainWindow) {
    if (!onX11())
        GTEST_SKIP() << "stacking is the window manager's: this runs on an X server with one";
    platform::QtPrompt qtPrompt;
    frmMain w(qtPrompt);
    qtPrompt.setParent(&w);
    w.Form_Load();
    w.resize(900, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.action(QStringLiteral("mOptionsPreferences"))->trigger();
    frmOptions* options = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* o = qobject_cast<frmOptions*>(top); o && o->isVisible())
            options = o;
    ASSERT_NE(options, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(options));
    options->tbsOptions()->setCurrentIndex(1);
    shell_test::type(options, "txtOldPass", QStringLiteral("not the password"));

    // The message of the Options window, answered with a real click on OK.
    bool answered = false;
    shell_test::whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        xClick(ok->mapToGlobal(ok->rect().center()));
        QObject::connect(box, &QDialog::finished, [&answered] { answered = true; });
    });
    shell_test::click(options, "cmdChange");
    ASSERT_TRUE(answered);

    // The user clicks on the main window, beside the Options window: the main window comes to the
    // front, and the Options window stays above it.
    const QRect optionsArea = options->frameGeometry();
    QPoint besides = w.frameGeometry().bottomRight() - QPoint(20, 20);
    ASSERT_FALSE(optionsArea.contains(besides));
    ASSERT_EQ(windowAt(besides), &w);
    PressWatcher pressed(&w);
    xClick(besides);
    // The window manager raises on the press before it passes the press on: once the main window has
    // it, the stacking is the one the user sees.
    ASSERT_TRUE(QTest::qWaitFor([&] { return pressed.seen; }, 30000));
    const QPoint optionsMiddle = optionsArea.center();
    EXPECT_TRUE(QTest::qWaitFor([&] { return windowAt(optionsMiddle) == options; }, 10000))
        << "on top: " << (windowAt(optionsMiddle) ? windowAt(optionsMiddle)->objectName().toStdString() : "none");
    options->close();
}

} // namespace
