#include "device/DeviceProtocol.h"

#include "core/Conversions.h"
#include "device/SerialLink.h"

namespace {
const QLatin1Char kPrompt('>');
constexpr int kOffSuffixLength = 3;
} // namespace

DeviceProtocol::DeviceProtocol(SerialLink &link) : m_link(link)
{
}

bool DeviceProtocol::isLineOpen() const
{
    return m_link.isOpen();
}

qint32 DeviceProtocol::sendCommand(const QString &transmit)
{
    qint32 r = m_link.clearInput();
    if (r != 0)
        return r;
    r = m_link.writeLine(transmit);
    if (r != 0)
        return r;
    QString reply;
    for (int line = 0; line < kSetEchoLines; ++line) {
        r = m_link.readLine(reply);
        if (r != 0)
            return r;
        if (reply.startsWith(kPrompt))
            reply.remove(0, 1);
        if (reply == transmit)
            return 0;
    }
    return 0; // five lines without the echo count as accepted
}

qint32 DeviceProtocol::readModule(const QString &modul, ModuleReading &reading,
                                       const std::optional<SimulatedAnswer> &simulated)
{
    qint32 r = m_link.clearInput();
    if (r != 0)
        return r;
    const QString command = QStringLiteral("R") + modul;
    r = m_link.writeLine(command);
    if (r != 0)
        return r;

    if (simulated) {
        reading = simulated->reading;
        r = m_link.writeLine(simulated->line);
        if (r != 0)
            return r;
    }

    QString line;
    for (int skipped = 0;; ++skipped) {
        if (skipped > kMaxReadSkipLines)
            return m_link.endAsTimeout(); // lines without end must not hold the thread
        r = m_link.readLine(line);
        if (r != 0)
            return r;
        if (line.endsWith(command))
            break;
    }
    r = m_link.readLine(line);
    if (r != 0)
        return r;
    parseDataLine(line, reading);
    return 0;
}

void DeviceProtocol::parseDataLine(const QString &line, ModuleReading &reading)
{
    if (line.size() < kOffSuffixLength)
        return;
    if (line.right(kOffSuffixLength).toLower() == QLatin1String("off")) {
        reading.OnOff = 0;
        return;
    }
    reading.OnOff = 1;
    const QLatin1Char space(' ');
    int p = line.indexOf(space);
    if (p < 0)
        return;
    for (float *out : {&reading.Gain, &reading.Offset, &reading.value, &reading.Umon}) {
        const int q = line.indexOf(space, p + 1);
        if (q < 0)
            return;
        const QString field = line.mid(p + 1, q - p - 1);
        *out = ValOf(field);
        if (out == &reading.value)
            reading.valueText = field;
        p = q;
    }
    reading.Imon = ValOf(line.mid(p + 1));
}
