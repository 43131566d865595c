#pragma once
// Locking the running program again: the windows empty what they show of secrets, every window of
// the program is hidden and switched off (assistive technology reaches hidden windows too, so
// nothing in them may be pressed or read), every password box is emptied, the wallet's key is wiped,
// and the password is asked for as at start; the windows come back only for the right password
// (ending the password window ends the program, as at start). While locked, nothing but the
// password window (the gate) is brought to the screen. It locks when the screen locks (the session bus's
// org.freedesktop.ScreenSaver ActiveChanged(true), logind's Lock of this session on the system bus),
// after the idle time set in Options (off by default), and, when chosen in Options, when the window
// is restored from the tray.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <vector>

class QAction;
class QWidget;

namespace shell {

class AppLock final : public QObject {
    Q_OBJECT
public:
    // unlock: asks for the password; true when the right one was given, false when the user ended
    // the program there.
    AppLock(QWidget& window, std::function<bool()> unlock, QObject* parent = nullptr);
    ~AppLock() override;

    bool isLocked() const { return m_locked; }
    // While locked: brings the gate (the password window, or a box over it) to the front; nothing
    // else is shown.
    void showGate();
    // Reads the idle time and the restore choice from the settings (at start and when Options changes
    // them).
    void loadSettings();
    int idleMinutes() const { return m_idleMinutes; }
    bool lockOnRestore() const { return m_lockOnRestore; }
    // Listens to the screen-lock signals of the session and system buses (where they are reachable).
    void listenToScreenLock();

    // Test seam: the idle timer (its interval follows the setting).
    QTimer& idleTimer() { return m_idle; }

public slots:
    void lock();
    // org.freedesktop.ScreenSaver ActiveChanged
    void screenSaverActiveChanged(bool active);
    // logind's Lock of this session
    void sessionLock();

signals:
    // Locked: emitted before the windows are hidden, so that they empty what they show of secrets
    // while they are whole. Unlocked: emitted after the right password, the windows shown again.
    void lockedChanged(bool locked);
    // The password window was ended while locked: the program ends.
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    std::function<bool()> m_unlock;
    bool m_locked = false;
    int m_idleMinutes = 0;
    bool m_lockOnRestore = false;
    QTimer m_idle;
    std::vector<QPointer<QWidget>> m_hidden;
    std::vector<QPointer<QWidget>> m_disabled;
    std::vector<QPointer<QAction>> m_actionsOff;
};

} // namespace shell
