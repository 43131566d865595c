#include "shell/SingleInstance.h"

#include "platform/Environment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>

#include <memory>
#include <utility>

namespace shell {

namespace {

constexpr QByteArrayView kActivate = "activate\n";
constexpr QByteArrayView kOpen = "open ";
constexpr int kWaitMs = 3000;

// sockaddr_un holds 108 bytes with its terminating zero.
constexpr qsizetype kMaxSocketPath = 100;

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

bool IsPrivateFolder(const std::string& folder) {
    struct stat st {};
    return !folder.empty() && folder[0] == '/' && ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

QString SingleInstance::serverName() {
    try {
        const QByteArray registry = QByteArray::fromStdString(platform::registryFileHost());
        const QString hash =
            QString::fromLatin1(QCryptographicHash::hash(registry, QCryptographicHash::Sha256).toHex().left(16));
        const QString name = QStringLiteral("tessaly-%1-%2").arg(static_cast<qulonglong>(getuid())).arg(hash);
        // Only a folder of the user's own that nobody else may enter: the runtime folder, else the
        // program's state folder (0700). Never a shared one, where another user could take the name.
        for (const std::string& folder : {qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString(), platform::logFolderHost()}) {
            if (!IsPrivateFolder(folder))
                continue;
            const QString path = QDir(QString::fromStdString(folder)).filePath(name);
            if (path.toLocal8Bit().size() <= kMaxSocketPath)
                return path;
        }
    } catch (const std::exception&) {
        // no folder of the user's own: no single instance
    }
    return {};
}

bool PeerIsThisUser(qintptr descriptor) {
    struct ucred cred {};
    socklen_t size = sizeof cred;
    return descriptor >= 0 &&
           ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &size) == 0 &&
           size == sizeof cred && cred.uid == ::getuid();
}

bool SingleInstance::activatePrevious() {
    return forwardFiles({});
}

bool SingleInstance::forwardFiles(const QStringList& hostFiles) {
    const QString name = serverName();
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    // Files are handed only to a program of the same user.
    if (!PeerIsThisUser(socket.socketDescriptor()))
        return false;
    // One line per file, its bytes percent-encoded so that a line feed in a name cannot split it.
    for (const QString& file : hostFiles)
        socket.write(kOpen.toByteArray() + file.toLocal8Bit().toPercentEncoding() + '\n');
    socket.write(kActivate.data(), kActivate.size());
    const bool sent = socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return sent;
}

bool SingleInstance::listen() {
    if (m_server && m_server->isListening())
        return true;
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    }
    const QString name = serverName();
    if (name.isEmpty())
        return false;
    if (m_server->listen(name))
        return true;
    // Nobody answered on it (activatePrevious came first), so the socket file is a crashed run's.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

bool SingleInstance::isListening() const {
    return m_server && m_server->isListening();
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Another user's program is not listened to (the folder keeps others out; this is the check
        // on what actually connected).
        if (!PeerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // The files of one request gather on the socket until its "activate" line.
        auto files = std::make_shared<QStringList>();
        auto handle = [this, socket, files] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine();
                if (line.startsWith(kOpen) && line.endsWith('\n')) {
                    files->append(QString::fromLocal8Bit(
                        QByteArray::fromPercentEncoding(line.mid(kOpen.size(), line.size() - kOpen.size() - 1))));
                } else if (line == kActivate.toByteArray()) {
                    if (!files->isEmpty())
                        emit openRequested(std::exchange(*files, {}));
                    emit activateRequested();
                }
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        handle(); // the message may already be there
    }
}

} // namespace shell
