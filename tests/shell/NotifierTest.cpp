// SPDX-License-Identifier: GPL-3.0-or-later
// Notifications reach the desktop's notification service over the session bus: a scheduled shred
// that removed or failed something, and a long unlock run that ended while the window was hidden.
// These tests need a private session bus (ctest runs them under dbus-run-session with
// TESSALY_PRIVATE_BUS=1) and stand in for the service on it; elsewhere they are skipped, so that
// they never speak to a real desktop's service.

#include "ShellTestSupport.h"

#include "locking/FileCommands.h"
#include "locking/LockingCommands.h"
#include "settings/modGeneral.h"
#include "shell/Notifier.h"
#include "shell/frmMain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QTreeWidget>

namespace {

// org.freedesktop.Notifications as a desktop provides it, recording what it is asked to show.
class FakeNotifications final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString app, icon, summary, body;
    };
    std::vector<Shown> shown;

public slots:
    Q_SCRIPTABLE uint Notify(const QString& app, uint /*replaces*/, const QString& icon, const QString& summary,
                             const QString& body, const QStringList& /*actions*/, const QVariantMap& /*hints*/,
                             int /*timeout*/) {
        shown.push_back({app, icon, summary, body});
        return static_cast<uint>(shown.size());
    }
};

class NotifierTest : public shell_test::ShellTest {
protected:
    void SetUp() override {
        if (qgetenv("TESSALY_PRIVATE_BUS") != "1")
            GTEST_SKIP() << "needs the private session bus of dbus-run-session";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
        m_service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-notifications"));
        ASSERT_TRUE(m_service.isConnected());
        ASSERT_TRUE(m_service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                             QDBusConnection::ExportScriptableSlots));
        ASSERT_TRUE(m_service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void TearDown() override {
        if (m_service.isConnected()) {
            m_service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            m_service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
        }
    }

    FakeNotifications fake;
    QDBusConnection m_service{QString()};
};

TEST_F(NotifierTest, AScheduledShredThatRemovedOrFailedSomethingIsTold) {
    auto w = shownWindow();
    auto* notifier = new shell::Notifier(*w);
    QSignalSpy sent(notifier, &shell::Notifier::notified);

    notifier->scheduledShredFinished("C:\\Temp", 0, 0); // nothing to tell
    notifier->scheduledShredFinished("C:\\Temp", 3, 0);
    notifier->scheduledShredFinished("C:\\Temp", 1, 2);
    QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 2, 20000);
    for (const auto& args : sent)
        EXPECT_EQ(args.at(2).value<shell::Notifier::Channel>(), shell::Notifier::Channel::Desktop);
    ASSERT_EQ(fake.shown.size(), 2u);
    EXPECT_EQ(fake.shown[0].app, QStringLiteral("Tessaly"));
    EXPECT_EQ(fake.shown[0].icon, QStringLiteral("tessaly"));
    EXPECT_EQ(fake.shown[0].summary, QStringLiteral("Scheduled shred done"));
    EXPECT_EQ(fake.shown[0].body, QStringLiteral("The scheduled shred of 'C:\\Temp' removed 3 items."));
    EXPECT_EQ(fake.shown[1].summary, QStringLiteral("Scheduled shred did not finish"));
    EXPECT_EQ(fake.shown[1].body,
              QStringLiteral("The scheduled shred of 'C:\\Temp' removed 1 item; 2 items could not be shredded."));
}

TEST_F(NotifierTest, AnUnlockRunThatEndsWhileTheWindowIsHiddenIsTold) {
    auto w = shownWindow();
    auto* notifier = new shell::Notifier(*w);
    notifier->setLongRunMs(0); // every run counts as long here
    QSignalSpy sent(notifier, &shell::Notifier::notified);

    // Two locked files, unlocked by the window's own Unlock command: once shown, once hidden.
    for (const char* name : {"a.txt", "b.txt"}) {
        sandbox.writeFile(std::string("C:\\Docs\\") + name, name);
        locking::FileBatch batch;
        batch.folder = "C:\\Docs";
        batch.checked = {{name, name}};
        batch.password = batch.confirmation = "pw";
        batch.registerPath = w->registerPath();
        testing_support::ScriptedPrompt quiet;
        ASSERT_EQ(locking::LockFiles(batch, quiet).end, locking::RunEnd::Completed);
    }
    w->browser().setCurrentFolder("C:\\Docs");
    const auto unlock = [&](const char* name) {
        const std::string key = TransformName(name) + ".TSL";
        for (int i = 0; i < shell_test::fileCount(*w); ++i) {
            shell_test::setFileCheck(*w, i, shell_test::fileKey(*w, i) == key ? Qt::Checked : Qt::Unchecked);
        }
        w->txtPassword1()->setText(QStringLiteral("pw"));
        w->lockingCommands()->cmdUnlock_click();
        EXPECT_EQ(sandbox.readFile(std::string("C:\\Docs\\") + name), name);
    };
    unlock("a.txt"); // the window is in sight: nothing to tell
    w->hide();
    unlock("b.txt");
    QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 1, 20000);
    ASSERT_EQ(fake.shown.size(), 1u); // the bus keeps order: the first run sent nothing
    EXPECT_EQ(fake.shown[0].body, QStringLiteral("The lock or unlock run has finished."));
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.texts().front();
}

TEST_F(NotifierTest, WithoutTheServiceTheTrayIsTheFallback) {
    m_service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    auto w = shownWindow();
    auto* notifier = new shell::Notifier(*w);
    QSignalSpy sent(notifier, &shell::Notifier::notified);
    notifier->notify(QStringLiteral("Tessaly"), QStringLiteral("text"));
    QTRY_COMPARE_WITH_TIMEOUT(sent.size(), 1, 20000);
    // The offscreen platform has no tray: the message has nowhere else to go.
    const auto channel = sent.front().at(2).value<shell::Notifier::Channel>();
    EXPECT_EQ(channel, w->trayIcon() ? shell::Notifier::Channel::Tray : shell::Notifier::Channel::None);
    EXPECT_TRUE(fake.shown.empty());
}

} // namespace

#include "NotifierTest.moc"
