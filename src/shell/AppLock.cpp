#include "shell/AppLock.h"

#include "core/SealKey.h"
#include "settings/SettingsTable.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QEvent>
#include <QWidget>

#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace shell {

AppLock::AppLock(QWidget& window, std::function<bool()> unlock, QObject* parent)
    : QObject(parent), m_window(window), m_unlock(std::move(unlock)) {
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &AppLock::lock);
    // Any input to any window of the program counts as activity.
    qApp->installEventFilter(this);
    loadSettings();
}

AppLock::~AppLock() {
    if (qApp)
        qApp->removeEventFilter(this);
}

void AppLock::loadSettings() {
    m_idleMinutes = std::max(0, settings::IdleLockMinutes.get());
    m_lockOnRestore = settings::LockOnRestore.get();
    if (m_idleMinutes > 0 && !m_locked) {
        m_idle.setInterval(std::chrono::minutes(m_idleMinutes));
        m_idle.start();
    } else {
        m_idle.stop();
    }
}

// QDBusConnection::connect takes its slot by name only: the one place that needs SLOT().
void AppLock::listenToScreenLock() {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"})
            session.connect(QString(), QString::fromLatin1(path), QStringLiteral("org.freedesktop.ScreenSaver"),
                            QStringLiteral("ActiveChanged"), this, SLOT(screenSaverActiveChanged(bool)));
    }
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        // This process's session; logind sends Lock to it when the session is locked.
        QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                               QStringLiteral("org.freedesktop.login1.Manager"), system);
        const QDBusReply<QDBusObjectPath> reply =
            manager.call(QStringLiteral("GetSessionByPID"), static_cast<quint32>(::getpid()));
        if (reply.isValid())
            system.connect(QStringLiteral("org.freedesktop.login1"), reply.value().path(),
                           QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Lock"), this,
                           SLOT(sessionLock()));
    }
}

void AppLock::screenSaverActiveChanged(bool active) {
    if (active)
        lock();
}

void AppLock::sessionLock() {
    lock();
}

bool AppLock::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        if (m_idleMinutes > 0 && !m_locked)
            m_idle.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void AppLock::lock() {
    if (m_locked)
        return;
    m_locked = true;
    m_idle.stop();
    // Every window of the program goes, and the key with them.
    m_hidden.clear();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) {
            m_hidden.emplace_back(w);
            w->hide();
        }
    if (!m_window.isHidden())
        m_window.hide();
    core::ClearSessionKey();
    emit lockedChanged(true);

    if (!m_unlock()) {
        emit quitRequested();
        return;
    }
    m_locked = false;
    for (const QPointer<QWidget>& w : m_hidden)
        if (w)
            w->show();
    m_hidden.clear();
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    emit lockedChanged(false);
    loadSettings();
}

} // namespace shell
