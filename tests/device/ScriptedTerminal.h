#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

// A pseudo-terminal whose far end answers every CR-terminated line with the next scripted
// reply, byte for byte, so tests can put exactly the replies they need on a real serial line.
// With no reply left it stays silent. The far end can also hang up.
class ScriptedTerminal
{
public:
    ScriptedTerminal();
    ~ScriptedTerminal();

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Replies for the next lines, in order; each is written as given (include the CR).
    void script(const QList<QByteArray> &replies);
    // Writes bytes now, whatever came in.
    void send(const QByteArray &bytes);
    // Bytes given to send() that the line has not taken yet.
    qint64 pendingBytes() const;
    // Forgets what send() was given and the line has not taken.
    void cancelSending();
    // Everything received so far.
    QByteArray received() const;
    // Closes the far end: the line hangs up as when an adapter is pulled.
    void hangUp();

private:
    void serve();

    int m_master = -1;
    QString m_slavePath;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_replies;
    QByteArray m_received;
    QByteArray m_outgoing;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
