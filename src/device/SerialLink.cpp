#include "device/SerialLink.h"

#include "core/UserInterface.h"
#include "device/PortTable.h"

#include <QElapsedTimer>

namespace {
const QString kOpenTitle = QStringLiteral("Open ");
const QString kWriteTitle = QStringLiteral("Writing to ");
const QString kReadTitle = QStringLiteral("Reading from ");
constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return true;
    return false;
}
} // namespace

SerialLink::SerialLink(UserInterface &ui, QObject *parent)
    : QObject(parent), m_ui(ui),
      m_factory([](int port) { return PortTable::create(port); })
{
}

SerialLink::~SerialLink()
{
    if (m_port)
        m_port->close();
}

void SerialLink::setPortFactory(std::function<std::unique_ptr<SerialPort>(int)> factory)
{
    m_factory = std::move(factory);
}

QString SerialLink::portCaptionFor(int commPort)
{
    return commPort == 0 ? QStringLiteral("COM?:") : QStringLiteral("COM%1:").arg(commPort);
}

bool SerialLink::isOpen() const
{
    return m_port && m_port->isOpen();
}

QString SerialLink::devicePath() const
{
    return isOpen() ? m_port->path() : QString();
}

void SerialLink::setLamp(Lamp lamp)
{
    m_lamp = lamp;
    emit lampChanged(lamp);
}

void SerialLink::setPortCaption(const QString &caption)
{
    m_portCaption = caption;
    emit portCaptionChanged(caption);
}

qint32 SerialLink::fail(qint32 number, const QString &description, const QString &titlePrefix)
{
    setLamp(Lamp::Failed);
    m_ui.messageBox(QStringLiteral("Error %1 in %2:\r%3").arg(number).arg(kErrorSource, description),
                    titlePrefix + m_caption, UserInterface::Icon::Critical);
    return number;
}

qint32 SerialLink::portErrorNumber(SerialPort::Error error) const
{
    switch (error) {
    case SerialPort::Error::NotFound:
        return kErrNotFound;
    case SerialPort::Error::InUse:
        return kErrInUse;
    case SerialPort::Error::NoPermission:
        return kErrNoPermission;
    case SerialPort::Error::NotPresent:
        return kErrNotPresent;
    case SerialPort::Error::NotOpen:
        return kErrNotOpen;
    case SerialPort::Error::ReadFailed:
        return kErrRead;
    case SerialPort::Error::WriteFailed:
        return kErrWrite;
    case SerialPort::Error::Removed:
        return kErrRemoved;
    case SerialPort::Error::OpenFailed:
    case SerialPort::Error::None:
        break;
    }
    return kErrOpenFailed;
}

void SerialLink::closeIfGone()
{
    if (!m_port)
        return;
    const SerialPort::Error error = m_port->error();
    if (error == SerialPort::Error::Removed || error == SerialPort::Error::ReadFailed
        || error == SerialPort::Error::WriteFailed) {
        m_port->close();
        m_lost = true;
    }
}

qint32 SerialLink::notOpen(const QString &titlePrefix)
{
    if (!m_lost)
        return fail(kErrNotOpen, QStringLiteral("The port is not open."), titlePrefix);
    // The loss has been reported once; what was already under way fails without a second box.
    setLamp(Lamp::Failed);
    return kErrRemoved;
}

void SerialLink::retire()
{
    if (m_port)
        m_port->close();
    m_retired = true;
}

bool SerialLink::openPort(qint32 commPort)
{
    if (m_retired)
        return false;
    if (commPort == 0) {
        setPortCaption(portCaptionFor(0));
        return false;
    }
    setPortCaption(portCaptionFor(commPort));
    setLamp(Lamp::Busy);
    m_lost = false;
    if (m_port)
        m_port->close();
    m_port = m_factory(commPort);
    if (!m_port) {
        fail(kErrNoPort, QStringLiteral("COM%1: has no device in the port table.").arg(commPort), kOpenTitle);
        return false;
    }
    if (!m_port->open()) {
        const qint32 number = portErrorNumber(m_port->error());
        const QString text = m_port->errorText();
        m_port.reset();
        fail(number, text, kOpenTitle);
        return false;
    }
    m_port->setLostHandler([this] {
        // The device went away between two exchanges: tell the operator once; the port is
        // closed already, so the notifier cannot report it again.
        m_lost = true;
        emit portLost();
        fail(kErrRemoved, m_port ? m_port->errorText() : QString(), kReadTitle);
    });
    setLamp(Lamp::Ok);
    return true;
}

qint32 SerialLink::closePort()
{
    setLamp(Lamp::Busy);
    m_lost = false;
    if (m_port)
        m_port->close();
    setLamp(Lamp::Failed);
    return 0;
}

qint32 SerialLink::writeLine(const QString &text)
{
    if (m_retired)
        return kErrNotOpen;
    setLamp(Lamp::Busy);
    if (hasControlCharacter(text))
        return fail(kErrControlCharacter,
                    QStringLiteral("The command contains a control character and was not sent."), kWriteTitle);
    if (!isOpen())
        return notOpen(kWriteTitle);
    QByteArray line = text.toLatin1();
    line.append(kLineFeed);
    line.append(kCarriageReturn);
    if (!m_port->write(line)) {
        const qint32 number = portErrorNumber(m_port->error());
        const QString description = m_port->errorText();
        closeIfGone();
        if (number == kErrRemoved || number == kErrRead || number == kErrWrite)
            emit portLost();
        return fail(number, description, kWriteTitle);
    }
    setLamp(Lamp::Ok);
    return 0;
}

qint32 SerialLink::refuse(qint32 number, const QString &description)
{
    if (m_retired)
        return kErrNotOpen;
    return fail(number, description, kWriteTitle);
}

qint32 SerialLink::endAsTimeout()
{
    setLamp(Lamp::TimedOut);
    emit replyTimedOut();
    return -1;
}

qint32 SerialLink::readLine(QString &text)
{
    if (m_retired)
        return kErrNotOpen;
    setLamp(Lamp::Busy);
    QElapsedTimer clock;
    clock.start();
    text.clear();
    if (!isOpen())
        return notOpen(kReadTitle);
    for (;;) {
        while (m_port->bytesWaiting() > 0) {
            const QByteArray one = m_port->read(1);
            if (one.isEmpty())
                break;
            const char c = one.at(0);
            if (c == kLineFeed)
                continue;
            if (c == kCarriageReturn) {
                setLamp(Lamp::Ok);
                return 0;
            }
            if (text.size() >= kMaxLineLength)
                return endAsTimeout(); // a runaway line must neither hold the thread nor fill memory
            text.append(QChar(uchar(c)));
        }
        const SerialPort::Error error = m_port->error();
        if (error != SerialPort::Error::None) {
            const qint32 number = portErrorNumber(error);
            const QString description = m_port->errorText();
            closeIfGone();
            emit portLost();
            return fail(number, description, kReadTitle);
        }
        const qint64 elapsed = clock.elapsed();
        if (elapsed > kReplyTimeoutMs)
            return endAsTimeout();
        m_port->waitForBytes(int(kReplyTimeoutMs + 1 - elapsed));
    }
}

qint32 SerialLink::clearInput()
{
    if (m_retired)
        return kErrNotOpen;
    setLamp(Lamp::Busy);
    if (!isOpen())
        return notOpen(kReadTitle);
    if (!m_port->discardInput()) {
        const qint32 number = portErrorNumber(m_port->error());
        const QString description = m_port->errorText();
        closeIfGone();
        emit portLost();
        return fail(number, description, kReadTitle);
    }
    setLamp(Lamp::Ok);
    return 0;
}
