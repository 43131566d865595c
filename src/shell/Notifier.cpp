// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Notifier.h"

#include "locking/LockingCommands.h"
#include "shell/frmMain.h"
#include "shredder/ShredderPage.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace shell {

namespace {

constexpr int kBusTimeoutMs = 10000;

QString fromBytes(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString items(std::size_t n) {
    return n == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(n);
}

} // namespace

Notifier::Notifier(frmMain& window) : QObject(&window), m_window(window) {
    if (locking::LockingCommands* commands = window.lockingCommands())
        connect(commands, &locking::LockingCommands::busyChanged, this, &Notifier::lockingBusyChanged);
    if (auto* page = window.findChild<shredder::ShredderPage*>())
        connect(page, &shredder::ShredderPage::scheduledShredFinished, this, &Notifier::scheduledShredFinished);
}

void Notifier::scheduledShredFinished(const std::string& folder, std::size_t shredded, std::size_t failed) {
    if (shredded == 0 && failed == 0)
        return;
    QString body = QStringLiteral("The scheduled shred of '%1' removed %2").arg(fromBytes(folder), items(shredded));
    body += failed == 0 ? QStringLiteral(".") : QStringLiteral("; %1 could not be shredded.").arg(items(failed));
    notify(failed == 0 ? QStringLiteral("Scheduled shred done") : QStringLiteral("Scheduled shred did not finish"),
           body);
}

void Notifier::lockingBusyChanged(bool busy) {
    if (busy) {
        m_run.start();
        return;
    }
    if (!m_run.isValid())
        return;
    const qint64 took = m_run.elapsed();
    m_run.invalidate();
    const bool hidden = !m_window.isVisible() || m_window.isMinimized();
    if (hidden && took >= m_longRunMs)
        notify(QStringLiteral("Tessaly"), QStringLiteral("The lock or unlock run has finished."));
}

void Notifier::notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        showInTray(summary, body);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Tessaly") << 0u << QStringLiteral("tessaly") << summary << body << QStringList()
         << QVariantMap() << -1;
    // Asynchronous: the window keeps painting, and a bus without the service falls back to the tray.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kBusTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, summary, body](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError())
            showInTray(summary, body);
        else
            emit notified(summary, body, Channel::Desktop);
    });
}

void Notifier::showInTray(const QString& summary, const QString& body) {
    QSystemTrayIcon* tray = m_window.trayIcon();
    if (tray && tray->isVisible() && QSystemTrayIcon::supportsMessages()) {
        tray->showMessage(summary, body, QSystemTrayIcon::Information);
        emit notified(summary, body, Channel::Tray);
        return;
    }
    emit notified(summary, body, Channel::None);
}

} // namespace shell
