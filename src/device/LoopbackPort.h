#pragma once

#include "device/SerialPort.h"

// The built-in loopback line: everything written comes back, so simulation mode needs no
// hardware. One line per name: a second open of the same name is "in use", as a locked
// device would be.
class LoopbackPort : public SerialPort
{
public:
    explicit LoopbackPort(const QString &name);
    ~LoopbackPort() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    // What is written waits to be read back, as on a line with its ends joined.
    bool write(const QByteArray &bytes) override;
    qint64 bytesWaiting() override;
    QByteArray read(qint64 maxBytes) override;
    bool discardInput() override;
    // Nothing arrives while the one thread waits: with nothing written, it waits as a silent line.
    bool waitForBytes(int msecs) override;
    Error error() const override { return m_error; }
    QString errorText() const override;
    QString path() const override { return m_name; }

private:
    QString m_name;
    QByteArray m_buffer;
    bool m_open = false;
    Error m_error = Error::None;
};
