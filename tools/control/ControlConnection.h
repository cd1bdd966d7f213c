#pragma once

#include <QLocalSocket>
#include <QString>

#include <optional>

// One conversation with the program's control link, line by line.
class ControlConnection
{
public:
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr qint64 kMaxAnswerBytes = 1024 * 1024;

    explicit ControlConnection(const QString &path) : m_path(path) {}

    bool open();
    void sendLine(const QString &line);
    // The next answer line without its LF (and a CR before it); nothing when the connection
    // ended or stayed silent for `timeoutMs` (-1: wait for ever).
    std::optional<QString> readLine(int timeoutMs);

private:
    QString m_path;
    QLocalSocket m_socket;
};
