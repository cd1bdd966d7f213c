#include "ControlConnection.h"

bool ControlConnection::open()
{
    m_socket.connectToServer(m_path);
    return m_socket.waitForConnected(kConnectTimeoutMs);
}

void ControlConnection::sendLine(const QString &line)
{
    m_socket.write(line.toUtf8() + '\n');
    m_socket.flush();
}

std::optional<QString> ControlConnection::readLine(int timeoutMs)
{
    while (!m_socket.canReadLine()) {
        if (m_socket.bytesAvailable() > kMaxAnswerBytes)
            return std::nullopt;
        if (m_socket.state() != QLocalSocket::ConnectedState && m_socket.bytesAvailable() == 0)
            return std::nullopt;
        if (!m_socket.waitForReadyRead(timeoutMs) && !m_socket.canReadLine())
            return std::nullopt;
    }
    QByteArray line = m_socket.readLine();
    line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}
