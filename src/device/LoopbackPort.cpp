#include "device/LoopbackPort.h"

#include <QSet>
#include <QThread>

namespace {
QSet<QString> &openLines()
{
    static QSet<QString> lines;
    return lines;
}
} // namespace

LoopbackPort::LoopbackPort(const QString &name) : m_name(name) {}

LoopbackPort::~LoopbackPort()
{
    close();
}

bool LoopbackPort::open()
{
    if (m_open)
        return true;
    if (openLines().contains(m_name)) {
        m_error = Error::InUse;
        return false;
    }
    openLines().insert(m_name);
    m_open = true;
    m_error = Error::None;
    m_buffer.clear();
    return true;
}

void LoopbackPort::close()
{
    if (!m_open)
        return;
    openLines().remove(m_name);
    m_open = false;
    m_buffer.clear();
}

bool LoopbackPort::write(const QByteArray &bytes)
{
    if (!m_open) {
        m_error = Error::NotOpen;
        return false;
    }
    m_buffer.append(bytes);
    m_error = Error::None;
    return true;
}

qint64 LoopbackPort::bytesWaiting()
{
    return m_open ? m_buffer.size() : 0;
}

QByteArray LoopbackPort::read(qint64 maxBytes)
{
    const QByteArray out = m_buffer.left(int(maxBytes));
    m_buffer.remove(0, out.size());
    return out;
}

bool LoopbackPort::discardInput()
{
    if (!m_open) {
        m_error = Error::NotOpen;
        return false;
    }
    m_buffer.clear();
    return true;
}

bool LoopbackPort::waitForBytes(int msecs)
{
    if (!m_buffer.isEmpty())
        return true;
    // Nothing can arrive while the one thread waits; wait as a silent line would.
    if (msecs > 0)
        QThread::msleep(static_cast<unsigned long>(msecs));
    return false;
}

QString LoopbackPort::errorText() const
{
    switch (m_error) {
    case Error::InUse:
        return QStringLiteral("The loopback line %1 is already open.").arg(m_name);
    case Error::NotOpen:
        return QStringLiteral("The loopback line is not open.");
    default:
        return QStringLiteral("No error.");
    }
}
