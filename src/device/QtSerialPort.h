#pragma once

#include "device/SerialPort.h"

#include <QSerialPort>

// A device path opened with QSerialPort at 9600,n,8,1, raw, without flow control.
class QtSerialPort : public SerialPort
{
public:
    explicit QtSerialPort(const QString &devicePath);
    ~QtSerialPort() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    bool write(const QByteArray &bytes) override;
    qint64 bytesWaiting() override;
    QByteArray read(qint64 maxBytes) override;
    bool discardInput() override;
    bool waitForBytes(int msecs) override;
    Error error() const override { return m_error; }
    QString errorText() const override { return m_errorText; }
    QString path() const override { return m_path; }
    void setLostHandler(std::function<void()> handler) override { m_lostHandler = std::move(handler); }

    static constexpr int kWriteTimeoutMs = 1000;
    // What arrives between exchanges is dropped by the next exchange anyway; a faulty line's
    // babble must not fill memory meanwhile. Past this the bytes wait in the driver, whose own
    // buffer is bounded, until the next exchange discards them.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

private:
    // Takes the port's own error into ours; true when the port is still usable.
    bool takePortError(Error whenFailed);
    // The device has hung up (a pseudo-terminal's other end closed, an adapter pulled).
    bool hasHungUp();
    void setError(Error error, const QString &text);
    void onPortError(QSerialPort::SerialPortError error);

    QString m_path;
    QSerialPort m_port;
    Error m_error = Error::None;
    QString m_errorText;
    std::function<void()> m_lostHandler;
    bool m_lossQueued = false;
    quint64 m_generation = 0; // a loss noticed before a close must not close a later opening
};
