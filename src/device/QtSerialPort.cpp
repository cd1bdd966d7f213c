#include "device/QtSerialPort.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

QtSerialPort::QtSerialPort(const QString &devicePath) : m_path(devicePath)
{
    m_port.setPortName(devicePath);
    m_port.setReadBufferSize(kReadBufferBytes);
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { onPortError(error); });
}

void QtSerialPort::onPortError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError && error != QSerialPort::WriteError)
        return;
    if (m_lossQueued)
        return;
    // A port that lost its device reports errors without end from its notifier; close it as soon
    // as control is back in the event loop (closing inside the port's own signal is unsafe).
    m_lossQueued = true;
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        &m_port,
        [this, generation, error] {
            m_lossQueued = false;
            if (!m_port.isOpen() || generation != m_generation)
                return; // a reader already saw the failure and closed the port
            // The notifier may fire for bytes that a discard took meanwhile: its read then finds
            // none and reports a read error. Only a hang-up or a vanished device is a loss.
            if (error != QSerialPort::ResourceError && !hasHungUp()) {
                m_port.clearError();
                return;
            }
            const QString text = QStringLiteral("The device %1 went away: %2").arg(m_path, m_port.errorString());
            m_port.close();
            m_port.clearError();
            setError(Error::Removed, text);
            if (m_lostHandler)
                m_lostHandler();
        },
        Qt::QueuedConnection);
}

QtSerialPort::~QtSerialPort()
{
    close();
}

void QtSerialPort::setError(Error error, const QString &text)
{
    m_error = error;
    m_errorText = text;
}

bool QtSerialPort::open()
{
    if (m_port.isOpen())
        return true;
    const QByteArray native = QFile::encodeName(m_path);
    if (!QFileInfo::exists(m_path)) {
        setError(Error::NotFound, QStringLiteral("The device %1 does not exist.").arg(m_path));
        return false;
    }
    // QSerialPort reports a lock held by another program and a missing permission alike;
    // ask the system first so that a user outside group dialout is told the real reason.
    if (::access(native.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        setError(Error::NoPermission,
                 QStringLiteral("Permission denied: you may not open %1. Add your user to the group "
                                "\"dialout\" (sudo usermod -aG dialout $USER) and log in again.")
                     .arg(m_path));
        return false;
    }
    m_port.setBaudRate(QSerialPort::Baud9600);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    errno = 0;
    if (!m_port.open(QIODevice::ReadWrite)) {
        const int savedErrno = errno;
        switch (m_port.error()) {
        case QSerialPort::PermissionError:
            setError(Error::InUse, QStringLiteral("The device %1 is already in use by another program.").arg(m_path));
            break;
        case QSerialPort::DeviceNotFoundError:
            setError(Error::NotFound, QStringLiteral("The device %1 does not exist.").arg(m_path));
            break;
        default:
            if (savedErrno == ENXIO || savedErrno == ENODEV)
                setError(Error::NotPresent,
                         QStringLiteral("No device is present at %1 (%2).").arg(m_path, QString::fromLocal8Bit(std::strerror(savedErrno))));
            else
                setError(Error::OpenFailed, QStringLiteral("%1: %2").arg(m_path, m_port.errorString()));
            break;
        }
        m_port.clearError();
        return false;
    }
    setError(Error::None, {});
    return true;
}

void QtSerialPort::close()
{
    ++m_generation;
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool QtSerialPort::takePortError(Error whenFailed)
{
    switch (m_port.error()) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError: // every expired wait sets it
        m_port.clearError();
        setError(Error::None, {});
        return true;
    case QSerialPort::ResourceError:
        setError(Error::Removed, QStringLiteral("The device %1 went away: %2").arg(m_path, m_port.errorString()));
        break;
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // A hang-up shows first as a failed read or write (EIO); it is the device going away,
        // which the operator must be told as such.
        if (hasHungUp())
            setError(Error::Removed, QStringLiteral("The device %1 went away: %2").arg(m_path, m_port.errorString()));
        else if (m_port.error() == QSerialPort::ReadError && whenFailed != Error::WriteFailed)
            setError(Error::ReadFailed, QStringLiteral("%1: %2").arg(m_path, m_port.errorString()));
        else
            setError(Error::WriteFailed, QStringLiteral("%1: %2").arg(m_path, m_port.errorString()));
        break;
    default:
        setError(whenFailed, QStringLiteral("%1: %2").arg(m_path, m_port.errorString()));
        break;
    }
    m_port.clearError();
    return false;
}

bool QtSerialPort::hasHungUp()
{
    pollfd device{int(m_port.handle()), POLLIN, 0};
    return device.fd >= 0 && ::poll(&device, 1, 0) == 1 && (device.revents & POLLHUP) != 0;
}

bool QtSerialPort::write(const QByteArray &bytes)
{
    if (!m_port.isOpen()) {
        setError(Error::NotOpen, QStringLiteral("The port is not open."));
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        if (takePortError(Error::WriteFailed))
            setError(Error::WriteFailed, QStringLiteral("%1: the command could not be written.").arg(m_path));
        return false;
    }
    // Hand the whole line to the device now: nothing else runs the event loop for us.
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(kWriteTimeoutMs)) {
            if (!takePortError(Error::WriteFailed))
                return false;
            setError(Error::WriteFailed, QStringLiteral("%1: the line did not take the command in time.").arg(m_path));
            return false;
        }
    }
    return takePortError(Error::WriteFailed);
}

qint64 QtSerialPort::bytesWaiting()
{
    if (!m_port.isOpen())
        return 0;
    if (m_port.bytesAvailable() == 0) {
        m_port.waitForReadyRead(0); // takes in what the device has delivered, without blocking
        takePortError(Error::ReadFailed);
    }
    return m_port.bytesAvailable();
}

QByteArray QtSerialPort::read(qint64 maxBytes)
{
    return m_port.read(maxBytes);
}

bool QtSerialPort::discardInput()
{
    if (!m_port.isOpen()) {
        setError(Error::NotOpen, QStringLiteral("The port is not open."));
        return false;
    }
    // Take in what has arrived, then drop it with what the driver still holds.
    m_port.waitForReadyRead(0);
    if (!takePortError(Error::ReadFailed))
        return false;
    m_port.readAll();
    m_port.clear(QSerialPort::Input);
    return takePortError(Error::ReadFailed);
}

bool QtSerialPort::waitForBytes(int msecs)
{
    if (!m_port.isOpen()) {
        setError(Error::NotOpen, QStringLiteral("The port is not open."));
        return false;
    }
    if (m_port.bytesAvailable() > 0)
        return true;
    const bool arrived = m_port.waitForReadyRead(msecs);
    if (!takePortError(Error::ReadFailed))
        return false;
    return arrived || m_port.bytesAvailable() > 0;
}
