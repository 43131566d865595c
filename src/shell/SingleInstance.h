#pragma once
// One running Tessaly per user and per data folder. The first instance listens on a local socket;
// a later one connects, hands it the files it was started with (if any), asks it to bring its main
// window to the front, and ends.
//
// The socket lives in $XDG_RUNTIME_DIR (else the program's 0700 state folder; never a shared folder)
// under a name made of the user and the registry file's path, so two sandboxes with their own data
// never meet. Both ends check that the other is a process of the same user (SO_PEERCRED).

#include <QObject>
#include <QString>
#include <QStringList>

#include <string>

class QLocalServer;

namespace shell {

// Whether a folder is the user's own and closed to everyone else (owner the user, no group or other
// permission bits), as a socket's folder must be.
bool IsPrivateFolder(const std::string& folder);
// Whether the process at the other end of a connected local socket runs as this user.
bool PeerIsThisUser(qintptr descriptor);

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket path for the current user and registry file; empty when no folder of the user's own
    // (owned by the user, closed to others) can hold it.
    static QString serverName();

    // True when another instance answers; it has then been asked to come to the front.
    bool activatePrevious();
    // The same, handing it `hostFiles` (absolute host paths) to open first. Needs no instance object.
    static bool forwardFiles(const QStringList& hostFiles);
    // Starts answering later instances. False when the socket could not be created.
    bool listen();
    bool isListening() const;

signals:
    // A later instance asked this one to show its main window.
    void activateRequested();
    // A later instance was started with these files (absolute host paths); emitted before
    // activateRequested.
    void openRequested(const QStringList& hostFiles);

private:
    void onNewConnection();

    QLocalServer* m_server = nullptr;
};

} // namespace shell
