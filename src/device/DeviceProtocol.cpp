#include "device/DeviceProtocol.h"

#include "app/Conversions.h"
#include "app/ControllerState.h"
#include "device/SerialLink.h"
#include "device/SimulatedState.h"

#include <QRandomGenerator>

namespace {
const QLatin1Char kPrompt('>');
constexpr int kOffSuffixLength = 3;
constexpr float kBeamCurrentScaleA = -0.00001f;  // simulated beam current: -10 uA .. 0
constexpr float kAnodeCurrentScaleA = 0.01f;      // simulated anode current: 0 .. 10 mA
constexpr float kScreenGain = -100.0f;
} // namespace

DeviceProtocol::DeviceProtocol(SerialLink &link, ControllerState &state, SimulatedState &sim)
    : m_link(link), m_state(state), m_sim(sim),
      m_random([] { return QRandomGenerator::global()->generateDouble(); })
{
}

void DeviceProtocol::setRandomSource(std::function<double()> random)
{
    m_random = std::move(random);
}

qint32 DeviceProtocol::SetParameter(const QString &transmit)
{
    qint32 r = m_link.R4150DClearBuffer();
    if (r != 0)
        return r;
    r = m_link.R4150DPrint(transmit);
    if (r != 0)
        return r;
    QString reply;
    for (int line = 0; line < kSetEchoLines; ++line) {
        r = m_link.R4150DInput(reply);
        if (r != 0)
            return r;
        if (reply.startsWith(kPrompt))
            reply.remove(0, 1);
        if (reply == transmit)
            return 0;
    }
    return 0; // five lines without the echo count as accepted
}

qint32 DeviceProtocol::GetModuleValues(const QString &modul, ModuleReading &reading)
{
    qint32 r = m_link.R4150DClearBuffer();
    if (r != 0)
        return r;
    const QString command = QStringLiteral("R") + modul;
    r = m_link.R4150DPrint(command);
    if (r != 0)
        return r;

    if (m_state.simulationMode != 0) {
        int index = ModuleTable::indexOfCode(modul);
        if (index < 0)
            index = 0;
        if (modul == QLatin1String("EN"))
            m_sim.SimIMon[0] = float(m_random()) * kBeamCurrentScaleA;
        else if (modul == QLatin1String("SC"))
            m_sim.SimGain[2] = kScreenGain;
        else if (modul == QLatin1String("AN"))
            m_sim.SimIMon[4] = float(m_random()) * kAnodeCurrentScaleA;
        QString answer;
        if (m_sim.SimSwitch[index] == 1) {
            answer = modul + QStringLiteral(" off");
        } else {
            reading.Gain = m_sim.SimGain[index];
            reading.Offset = m_sim.SimOffset[index];
            reading.value = m_sim.SimValue[index];
            reading.Umon = m_sim.SimUMon[index];
            reading.Imon = m_sim.SimIMon[index];
            answer = modul;
            for (float number : {reading.Gain, reading.Offset, reading.value, reading.Umon, reading.Imon})
                answer += QLatin1Char(' ') + StrOf(number);
        }
        r = m_link.R4150DPrint(answer);
        if (r != 0)
            return r;
    }

    QString line;
    for (int skipped = 0;; ++skipped) {
        if (skipped > kMaxReadSkipLines)
            return m_link.endAsTimeout(); // lines without end must not hold the thread
        r = m_link.R4150DInput(line);
        if (r != 0)
            return r;
        if (line.endsWith(command))
            break;
    }
    r = m_link.R4150DInput(line);
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
