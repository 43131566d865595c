// The program locks again: its windows hidden and switched off, the wallet's key wiped until the
// password is given again; on the screen's lock (a D-Bus signal), after the idle time of Options, and
// on restore from the tray when chosen. A locked window holds no secret that assistive technology
// could read or press, and a later instance's activation or file brings up the password window only.

#include "ShellTestSupport.h"

#include "core/SealKey.h"
#include "locking/FileCommands.h"
#include "settings/modGeneral.h"
#include "shell/OpenFiles.h"
#include "shell/SingleInstance.h"
#include "shell/UnlockFileWindow.h"
#include "wallet/PasswordWalletPage.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "shell/AppLock.h"
#include "wallet/Wallet.h"

#include <QAccessible>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QSignalSpy>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

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
        bool windowsOff = false;
    };
    std::function<bool()> unlocker(bool answer) {
        return [this, answer] {
            asked.push_back({window->isHidden(), other.isHidden(), core::SessionKey() == nullptr, lock->isLocked(),
                             !window->isEnabled() && !other.isEnabled()});
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
    EXPECT_TRUE(asked[0].windowsOff);
    EXPECT_FALSE(lock->isLocked());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(other.isVisible());
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(other.isEnabled());
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

// Every text assistive technology reads of a window and all it holds (hidden parts too): names,
// values, descriptions, help and the text of text boxes.
void accessibleTexts(QAccessibleInterface* node, QStringList& out, int depth = 0) {
    if (!node || depth > 60)
        return;
    for (QAccessible::Text kind : {QAccessible::Name, QAccessible::Value, QAccessible::Description, QAccessible::Help})
        out << node->text(kind);
    if (QAccessibleTextInterface* text = node->textInterface())
        out << text->text(0, text->characterCount());
    for (int i = 0; i < node->childCount(); ++i)
        accessibleTexts(node->child(i), out, depth + 1);
}

// The secrets of `secrets` that some top-level window's accessible texts hold, joined by "; ".
std::string readableSecrets(const QStringList& secrets) {
    QStringList texts;
    for (QWidget* top : QApplication::topLevelWidgets())
        accessibleTexts(QAccessible::queryAccessibleInterface(top), texts);
    QStringList found;
    for (const QString& secret : secrets)
        for (const QString& text : texts)
            if (text.contains(secret)) {
                found << secret;
                break;
            }
    return found.join(QStringLiteral("; ")).toStdString();
}

// A press as assistive technology makes it, whether the button is shown or not; it is drawn down
// for a moment and then clicked (when it can be).
void pressAccessibly(QPushButton* button) {
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(button);
    ASSERT_TRUE(node && node->actionInterface());
    node->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(QTest::qWaitFor([button] { return !button->isDown(); }, 60000));
}

// Presses, as assistive technology does, every item named `name` of the window (menu items and
// buttons, shown or not); how many there were.
int pressAccessiblyByName(QAccessibleInterface* node, const QString& name, int depth = 0) {
    if (!node || depth > 60)
        return 0;
    int pressed = 0;
    // Pressed even where the item offers no press: a program may ask for one all the same.
    if (node->text(QAccessible::Name) == name && node->actionInterface()) {
        node->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        ++pressed;
    }
    for (int i = 0; i < node->childCount(); ++i)
        pressed += pressAccessiblyByName(node->child(i), name, depth + 1);
    return pressed;
}

std::vector<QWidget*> visibleWindows() {
    std::vector<QWidget*> shown;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible())
            shown.push_back(top);
    return shown;
}

TEST_F(AppLockTest, ALockedWindowHoldsNoSecretAndAnActivationShowsOnlyThePasswordWindow) {
    ASSERT_TRUE(wallet::passWordAdd("Bank", {"bank.example", "sam.jones", "open sesame", "pin under the lamp"}));
    window->tabMain()->setCurrentWidget(window->fraMain(3));
    auto* page = window->findChild<wallet::PasswordWalletPage*>();
    ASSERT_NE(page, nullptr);
    auto* items = page->findChild<QTreeWidget*>(QStringLiteral("lstItem"));
    ASSERT_EQ(items->topLevelItemCount(), 1);
    page->lstItem_Click(items->topLevelItem(0));
    auto* show = page->findChild<QPushButton*>(QStringLiteral("cmdShowPassword"));
    auto* copyPassword = page->findChild<QPushButton*>(QStringLiteral("cmdCopyPassword"));
    QTest::mouseClick(show, Qt::LeftButton);
    shell_test::type(window.get(), "txtPassword1", QStringLiteral("file password"));
    const QStringList secrets = {QStringLiteral("bank.example"), QStringLiteral("sam.jones"),
                                 QStringLiteral("open sesame"), QStringLiteral("pin under the lamp"),
                                 QStringLiteral("file password")};
    // Unlocked, they are there to be read and copied (so the look below can find them).
    // (The lock password box shows dots only.)
    EXPECT_EQ(readableSecrets(secrets), "bank.example; sam.jones; open sesame; pin under the lamp");
    pressAccessibly(copyPassword);
    ASSERT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("open sesame"));
    QAccessibleInterface* windowNode = QAccessible::queryAccessibleInterface(window.get());
    const auto vaultOpen = [&] {
        for (QWidget* top : visibleWindows())
            if (top->objectName() == QStringLiteral("frmSecurityVault"))
                return top;
        return static_cast<QWidget*>(nullptr);
    };
    ASSERT_EQ(pressAccessiblyByName(windowNode, QStringLiteral("Security Vault")), 1);
    ASSERT_NE(vaultOpen(), nullptr);
    vaultOpen()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !vaultOpen(); }, 60000));

    QDialog gate; // the password window
    gate.setWindowModality(Qt::ApplicationModal);
    QSignalSpy activated(window->singleInstance(), &shell::SingleInstance::activateRequested);
    lock = std::make_unique<shell::AppLock>(*window, [&] {
        gate.show();
        EXPECT_EQ(readableSecrets(secrets), "");
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), ""); // cleared at once, not in 20 s
        pressAccessibly(copyPassword);
        EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "");
        EXPECT_FALSE(show->isChecked());
        // The menu item and the toolbar button of the vault, pressed while hidden, open nothing.
        EXPECT_EQ(pressAccessiblyByName(windowNode, QStringLiteral("Security Vault")) +
                      pressAccessiblyByName(windowNode, QStringLiteral("Safe Vault")),
                  2);
        auto* vaultButton = window->tbrLock()->widgetForAction(window->action(QStringLiteral("SafeVault")));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !qobject_cast<QAbstractButton*>(vaultButton)->isDown(); }, 60000));
        EXPECT_EQ(vaultOpen(), nullptr);
        // A later instance asks for the window: the password window comes up, nothing else.
        EXPECT_TRUE(shell::SingleInstance::forwardFiles({}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return activated.size() == 1; }, 60000));
        EXPECT_EQ(visibleWindows(), std::vector<QWidget*>{&gate});
        EXPECT_FALSE(window->isEnabled());
        gate.hide();
        EXPECT_EQ(wallet::OpenWallet("app password"), ""); // as the password window does
        return true;
    });
    window->setAppLock(lock.get());
    lock->screenSaverActiveChanged(true);

    // The right password: the entry is shown again, its password as dots; the typed lock password
    // is typed again.
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(page->shownEntry(), std::optional<std::string>("Bank"));
    EXPECT_EQ(page->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->text(), QStringLiteral("open sesame"));
    EXPECT_EQ(page->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window->txtPassword1()->text(), QString());
    window->setAppLock(nullptr);
}

TEST_F(AppLockTest, AFileHandedOverWhileLockedOpensOnlyAfterThePasswordWindow) {
    sandbox.writeFile("C:\\Docs\\letter.txt", "Dear reader");
    locking::FileBatch batch;
    batch.folder = "C:\\Docs";
    batch.checked = {{"letter.txt", "letter.txt"}};
    batch.password = batch.confirmation = "pw";
    batch.registerPath = window->registerPath();
    testing_support::ScriptedPrompt quiet;
    ASSERT_EQ(locking::LockFiles(batch, quiet).end, locking::RunEnd::Completed);
    const std::string locked = sandbox.host("C:\\Docs\\" + TransformName("letter.txt") + ".TSL");

    shell::FileOpener opener(*window);
    QObject::connect(window->singleInstance(), &shell::SingleInstance::openRequested, &opener,
                     &shell::FileOpener::open);
    QSignalSpy handed(window->singleInstance(), &shell::SingleInstance::openRequested);
    QDialog gate;
    gate.setWindowModality(Qt::ApplicationModal);
    lock = std::make_unique<shell::AppLock>(*window, [&] {
        gate.show();
        EXPECT_TRUE(shell::SingleInstance::forwardFiles({QString::fromStdString(locked)}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return handed.size() == 1; }, 60000));
        EXPECT_TRUE(opener.unlockWindows().empty());
        EXPECT_EQ(visibleWindows(), std::vector<QWidget*>{&gate});
        gate.hide();
        return true;
    });
    window->setAppLock(lock.get());
    lock->lock();
    ASSERT_EQ(opener.unlockWindows().size(), 1u);
    EXPECT_TRUE(opener.unlockWindows().front()->isVisible());
    EXPECT_TRUE(window->isVisible());
    window->setAppLock(nullptr);
}

} // namespace
