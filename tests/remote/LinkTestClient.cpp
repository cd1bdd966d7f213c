#include "LinkTestClient.h"

#include <QTest>

bool LinkTestClient::open(const QString &path)
{
    socket.connectToServer(path);
    return QTest::qWaitFor([this]() { return socket.state() == QLocalSocket::ConnectedState; }, kWaitMs);
}

void LinkTestClient::sendRaw(const QByteArray &bytes)
{
    socket.write(bytes);
    socket.flush();
}

std::optional<QString> LinkTestClient::nextLine(int timeoutMs)
{
    if (!QTest::qWaitFor([this]() { return socket.canReadLine(); }, timeoutMs))
        return std::nullopt;
    QByteArray line = socket.readLine();
    line.chop(1);
    return QString::fromUtf8(line);
}

QString LinkTestClient::command(const QString &line)
{
    sendRaw(line.toUtf8() + '\n');
    return nextLine().value_or(QStringLiteral("<no answer>"));
}

bool LinkTestClient::waitClosed()
{
    return QTest::qWaitFor([this]() { return socket.state() == QLocalSocket::UnconnectedState; }, kWaitMs);
}

void LinkTestClient::close()
{
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kWaitMs);
}
