// The program locks again: its windows hidden and the wallet's key wiped until the password is given
// again; on the screen's lock (a D-Bus signal), after the idle time of Options, and on restore from
// the tray when chosen.

#include "ShellTestSupport.h"

#include "core/SealKey.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "shell/AppLock.h"
#include "wallet/Wallet.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QSignalSpy>

#include <cstdlib>

namespace {

class AppLockTest : public shell_test::ShellTest {
protected:
    AppLockTest() {
        window = shownWindow();
        EXPECT_EQ(wallet::OpenWallet("app password"), "");
    }
    ~AppLockTest() override { core::ClearSessionKey(); }

    // What the password window saw when it was asked, and its answer.
    struct Asked {
        bool windowHidden = false;
        bool otherHidden = false;
        bool keyGone = false;
        bool locked = false;
    };
    std::function<bool()> unlocker(bool answer) {
        return [this, answer] {
            asked.push_back({window->isHidden(), other.isHidden(), core::SessionKey() == nullptr, lock->isLocked()});
            if (answer) {
                EXPECT_EQ(wallet::OpenWallet("app password"), ""); // as the password window does
            }
            return answer;
        };
    }

    std::unique_ptr<frmMain> window;
    QDialog other; // another window of the program that is open
    std::unique_ptr<shell::AppLock> lock;
    std::vector<Asked> asked;
};

TEST_F(AppLockTest, LockingHidesEveryWindowAndWipesTheKeyUntilThePasswordIsGivenAgain) {
    other.show();
    lock = std::make_unique<shell::AppLock>(*window, unlocker(true));
    QSignalSpy changed(lock.get(), &shell::AppLock::lockedChanged);
    ASSERT_NE(core::SessionKey(), nullptr);
    lock->lock();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].windowHidden);
    EXPECT_TRUE(asked[0].otherHidden);
    EXPECT_TRUE(asked[0].keyGone);
    EXPECT_TRUE(asked[0].locked);
    EXPECT_FALSE(lock->isLocked());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(other.isVisible());
    EXPECT_NE(core::SessionKey(), nullptr);
    EXPECT_EQ(changed.size(), 2);
}

TEST_F(AppLockTest, EndingThePasswordWindowEndsTheProgramWithTheWindowsStillHidden) {
    lock = std::make_unique<shell::AppLock>(*window, unlocker(false));
    QSignalSpy quit(lock.get(), &shell::AppLock::quitRequested);
    lock->lock();
    EXPECT_EQ(quit.size(), 1);
    EXPECT_TRUE(window->isHidden());
    EXPECT_EQ(core::SessionKey(), nullptr);
}

TEST_F(AppLockTest, TheIdleTimeIsOffByDefaultAndLocksWhenSet) {
    lock = std::make_unique<shell::AppLock>(*window, unlocker(true));
    EXPECT_EQ(lock->idleMinutes(), 0);
    EXPECT_FALSE(lock->idleTimer().isActive());

    SaveLong(HKEY_CURRENT_USER, settings::kAppKey, settings::IdleLockMinutes.name, 5);
    lock->loadSettings();
    EXPECT_TRUE(lock->idleTimer().isActive());
    EXPECT_EQ(lock->idleTimer().interval(), 5 * 60 * 1000);
    // Input restarts the count.
    QTest::keyClick(window.get(), Qt::Key_Shift);
    EXPECT_GT(lock->idleTimer().remainingTime(), 4 * 60 * 1000);
    // The time running out (made to run out now) locks.
    lock->idleTimer().start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !asked.empty(); }, 60000));
    EXPECT_TRUE(asked.at(0).windowHidden);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(AppLockTest, RestoringFromTheTrayAsksForThePasswordOnlyWhenChosen) {
    lock = std::make_unique<shell::AppLock>(*window, unlocker(true));
    window->setAppLock(lock.get());
    window->hide();
    window->restoreToFront();
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(window->isVisible());

    SaveLong(HKEY_CURRENT_USER, settings::kAppKey, settings::LockOnRestore.name, 1);
    lock->loadSettings();
    window->hide();
    window->restoreToFront();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].keyGone);
    EXPECT_TRUE(window->isVisible());
    window->setAppLock(nullptr);
}

// On a session bus of the test's own (TESSALY_PRIVATE_BUS, under dbus-run-session), a screen saver's
// ActiveChanged(true) locks and ActiveChanged(false) does not.
TEST_F(AppLockTest, TheScreenLockSignalLocks) {
    if (!std::getenv("TESSALY_PRIVATE_BUS") || !QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a private session bus (the test_shell_applock run)";
    lock = std::make_unique<shell::AppLock>(*window, unlocker(true));
    lock->listenToScreenLock();
    for (bool active : {false, true}) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
            QStringLiteral("ActiveChanged"));
        signal << active;
        ASSERT_TRUE(QDBusConnection::sessionBus().send(signal));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !asked.empty(); }, 60000));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].windowHidden);
}

} // namespace
