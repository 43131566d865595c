#pragma once
// One running Tessaly per user and per data folder. The first instance listens on a local socket;
// a later one connects, hands it the files it was started with (if any), asks it to bring its main
// window to the front, and ends.
//
// The socket lives in $XDG_RUNTIME_DIR (else the temporary folder) under a name made of the user
// and the registry file's path, so two sandboxes with their own data never meet.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace shell {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket name for the current user and registry file.
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
