#include "shell/AppLock.h"

#include "core/SealKey.h"
#include "settings/SettingsTable.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QEvent>
#include <QLineEdit>
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

void AppLock::showGate() {
    if (!m_locked)
        return;
    // The other windows are hidden and so out of the modal stack: the modal window on top is the
    // gate or a box over it.
    if (QWidget* gate = QApplication::activeModalWidget()) {
        gate->show();
        gate->raise();
        gate->activateWindow();
    }
}

void AppLock::lock() {
    if (m_locked)
        return;
    m_locked = true;
    m_idle.stop();
    // The windows take their secrets out first (the wallet page stashes its edits), while whole.
    emit lockedChanged(true);
    m_hidden.clear();
    m_disabled.clear();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // A typed password is not kept for after the lock: it is typed again.
        for (QLineEdit* box : w->findChildren<QLineEdit*>())
            if (box->echoMode() != QLineEdit::Normal && !box->text().isEmpty())
                box->setText(QString()); // setText, unlike clear(), keeps no undo step holding it
        if (w->isVisible()) {
            m_hidden.emplace_back(w);
            // QWidget's own hide: a dialog's would also end the exec() it may be running (a
            // question would be answered as if closed); it is asked again after the unlock.
            w->QWidget::setVisible(false);
        }
        if (w->isEnabled()) {
            m_disabled.emplace_back(w);
            w->setEnabled(false);
        }
        // A menu item is pressed through its action, which a window switched off leaves on.
        for (QAction* a : w->findChildren<QAction*>())
            if (a->isEnabled()) {
                m_actionsOff.emplace_back(a);
                a->setEnabled(false);
            }
    }
    if (!m_window.isHidden())
        m_window.QWidget::setVisible(false);
    core::ClearSessionKey();

    if (!m_unlock()) {
        emit quitRequested();
        return;
    }
    m_locked = false;
    for (const QPointer<QAction>& a : m_actionsOff)
        if (a)
            a->setEnabled(true);
    m_actionsOff.clear();
    for (const QPointer<QWidget>& w : m_disabled)
        if (w)
            w->setEnabled(true);
    m_disabled.clear();
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
