#pragma once

#include <QByteArray>
#include <QString>

// The program's end of the virtual supply's terminal, opened with plain POSIX calls so that a
// test sees exactly the bytes on the line, and a hang-up as a read error or end of file.
class SlaveEnd
{
public:
    SlaveEnd() = default;
    ~SlaveEnd();
    SlaveEnd(const SlaveEnd &) = delete;
    SlaveEnd &operator=(const SlaveEnd &) = delete;

    bool open(const QString &path);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Sends `text` as the program does: text, LF, CR.
    bool sendCommand(const QByteArray &text);
    bool sendRaw(const QByteArray &bytes);
    // Reads until `count` lines (ending in CR LF) have come, or `timeoutMs` passes; returns
    // everything read.
    QByteArray readLines(int count, int timeoutMs);
    // Reads until at least `count` bytes have come or `timeoutMs` passes.
    QByteArray readBytes(int count, int timeoutMs);
    // Everything that arrives within `timeoutMs`.
    QByteArray readFor(int timeoutMs);
    // True once a read has seen a hang-up (error or end of file).
    bool hungUp() const { return m_hungUp; }

private:
    // One read when data arrives within `timeoutMs`; false on time-out or hang-up.
    bool readSome(QByteArray &into, int timeoutMs);

    int m_fd = -1;
    bool m_hungUp = false;
};
