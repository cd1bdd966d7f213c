#pragma once

#include <QByteArray>
#include <QLocalSocket>
#include <QString>

#include <optional>

// A client of the control link in the same thread as the server: every wait runs the event
// loop, so that the server can answer.
class LinkTestClient
{
public:
    static constexpr int kWaitMs = 10000; // generous: only a hang should hit it

    bool open(const QString &path);
    void sendRaw(const QByteArray &bytes);
    // The next line from the server without its LF; nothing when none came.
    std::optional<QString> nextLine(int timeoutMs = kWaitMs);
    // Sends one line and returns the next line received.
    QString command(const QString &line);
    // True when the server closed the connection.
    bool waitClosed();
    void close();

    QLocalSocket socket;
};
