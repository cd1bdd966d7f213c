#pragma once

#include "device/SerialPort.h"

// A port whose open fails with a given error: only for an outcome a real device cannot give
// here (the tests run as root, so a missing permission cannot be arranged).
class RefusingPort : public SerialPort
{
public:
    explicit RefusingPort(Error error) : m_error(error) {}
    bool open() override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    bool write(const QByteArray &) override { return false; }
    qint64 bytesWaiting() override { return 0; }
    QByteArray read(qint64) override { return {}; }
    bool discardInput() override { return false; }
    bool waitForBytes(int) override { return false; }
    Error error() const override { return m_error; }
    QString errorText() const override { return QStringLiteral("refused"); }
    QString path() const override { return {}; }

private:
    Error m_error;
};
