#include "core/PrivateSocket.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t kSocketMode = 0600;
} // namespace

bool PrivateSocket::listen(QLocalServer &server, const QString &path, QString &errorString)
{
    if (!removeStale(path, errorString))
        return false;
    // No socket options on purpose: with them Qt binds elsewhere and renames over the path,
    // which would silently replace the socket of a running instance. A plain bind fails when
    // the file exists, so a live socket is never taken over, even in a race. The folder is
    // 0700, so nobody else can reach the socket before the chmod below.
    if (!server.listen(path)) {
        errorString = server.errorString();
        return false;
    }
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::chmod(native.constData(), kSocketMode) != 0 || ::lstat(native.constData(), &info) != 0
        || !S_ISSOCK(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 0077) != 0) {
        errorString = QStringLiteral("cannot restrict the socket %1 to its user").arg(path);
        server.close();
        return false;
    }
    return true;
}

bool PrivateSocket::removeStale(const QString &path, QString &errorString)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        if (errno == ENOENT)
            return true;
        errorString = QStringLiteral("cannot examine %1").arg(path);
        return false;
    }
    if (!S_ISSOCK(info.st_mode)) {
        errorString = QStringLiteral("%1 exists and is not a socket").arg(path);
        return false;
    }
    // Only a socket nobody listens on is stale. A local connect is answered at once either way;
    // a socket that neither accepts nor refuses in time is treated as alive.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kProbeTimeoutMs)) {
        probe.abort();
        errorString = QStringLiteral("another running instance listens on %1").arg(path);
        return false;
    }
    const QLocalSocket::LocalSocketError error = probe.error();
    if (error != QLocalSocket::ConnectionRefusedError && error != QLocalSocket::ServerNotFoundError) {
        errorString = QStringLiteral("%1 does not answer and is left alone: %2").arg(path, probe.errorString());
        return false;
    }
    if (::unlink(native.constData()) != 0 && errno != ENOENT) {
        errorString = QStringLiteral("cannot remove the stale socket %1").arg(path);
        return false;
    }
    return true;
}

