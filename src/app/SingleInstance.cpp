#include "app/SingleInstance.h"

#include "core/PrivateSocket.h"
#include "core/RuntimeDirectory.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString kLockName = QStringLiteral("Instance.lock");
const QString kSocketName = QStringLiteral("Instance");
const QByteArray kRaiseRequest = QByteArrayLiteral("raise");
// How long a second start keeps trying to reach a primary that is still starting up.
constexpr int kNotifyPatienceMs = 5000;
constexpr int kConnectWaitMs = 500;
constexpr int kRetryPauseMs = 50;
constexpr int kWriteWaitMs = 1000;
// A request is one short line; anything longer is not ours and the connection is dropped.
constexpr qint64 kMaxRequestBytes = 64;

} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file while the lock is still held
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool SingleInstance::tryBecomePrimary()
{
    if (m_primary)
        return true;
    const QString lockPath = RuntimeDirectory::filePath(kLockName);
    if (lockPath.isEmpty()) {
        m_primary = true;
        return true;
    }
    // O_CLOEXEC: a child process (e.g. a started tool) must not inherit and keep the lock.
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_primary = true;
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;
    m_primary = true;

    // Holding the lock, any socket file left behind belongs to a run that has ended.
    const QString socketPath = RuntimeDirectory::filePath(kSocketName);
    m_server = new QLocalServer(this);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    QString error;
    if (!PrivateSocket::listen(*m_server, socketPath, error))
        qWarning("Single instance: cannot listen on %s: %s", qPrintable(socketPath), qPrintable(error));
    return true;
}

bool SingleInstance::notifyPrimary()
{
    const QString socketPath = RuntimeDirectory::filePath(kSocketName);
    if (socketPath.isEmpty())
        return false;
    const QDeadlineTimer patience(kNotifyPatienceMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(kConnectWaitMs)) {
            socket.write(kRaiseRequest + '\n');
            const bool sent = socket.waitForBytesWritten(kWriteWaitMs) || socket.bytesToWrite() == 0;
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(kWriteWaitMs);
            if (sent)
                return true;
        }
        if (patience.hasExpired())
            return false;
        QThread::msleep(kRetryPauseMs);
    }
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            readRequests(socket); // a quick client may be gone before its line was read
            socket->deleteLater();
        });
        readRequests(socket); // data may have arrived with the connection
    }
}

void SingleInstance::readRequests(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxRequestBytes).trimmed();
        if (line == kRaiseRequest)
            emit activationRequested();
    }
    if (socket->bytesAvailable() > kMaxRequestBytes)
        socket->abort();
}
