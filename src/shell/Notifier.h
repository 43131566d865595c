// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tells the user of what happened while they were not looking: a scheduled shred that removed or
// failed anything, and a long lock or unlock run that ended while the main window was hidden. The
// desktop's notification service (org.freedesktop.Notifications on the session bus) shows it; where
// there is none, the tray icon's message does.

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <string>

class frmMain;

namespace shell {

class Notifier final : public QObject {
    Q_OBJECT
public:
    enum class Channel { Desktop, Tray, None };
    Q_ENUM(Channel)

    // Listens to the main window's lock commands and its shredder page.
    explicit Notifier(frmMain& window);

    // A lock or unlock run at least this long that ends while the window is hidden is told.
    void setLongRunMs(qint64 ms) { m_longRunMs = ms; }

    void scheduledShredFinished(const std::string& folder, std::size_t shredded, std::size_t failed);
    void lockingBusyChanged(bool busy);
    // Sends one notification; the channel it went through is told by `notified`.
    void notify(const QString& summary, const QString& body);

signals:
    void notified(const QString& summary, const QString& body, shell::Notifier::Channel channel);

private:
    void showInTray(const QString& summary, const QString& body);

    frmMain& m_window;
    QElapsedTimer m_run;
    qint64 m_longRunMs = 10000;
};

} // namespace shell
