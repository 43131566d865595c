#include "shell/SingleInstance.h"

#include "platform/Environment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

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

QString SingleInstance::serverName() {
    const QByteArray registry = QByteArray::fromStdString(platform::registryFileHost());
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(registry, QCryptographicHash::Sha256).toHex().left(16));
    const QString name = QStringLiteral("tessaly-%1-%2").arg(static_cast<qulonglong>(getuid())).arg(hash);
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        const QString path = QDir(runtime).filePath(name);
        if (path.toLocal8Bit().size() <= kMaxSocketPath)
            return path;
    }
    return name; // QLocalServer puts it in the temporary folder
}

bool SingleInstance::activatePrevious() {
    return forwardFiles({});
}

bool SingleInstance::forwardFiles(const QStringList& hostFiles) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(kWaitMs))
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
