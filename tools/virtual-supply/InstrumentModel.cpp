#include "InstrumentModel.h"

#include "core/Conversions.h"

#include <QLocale>

#include <algorithm>

namespace {
const char *const kCodes[InstrumentModel::kModules] = {"EN", "CA", "SC", "WE", "AN", "L1", "SU", "L2"};
constexpr int kCathode = 1;
constexpr int kScreen = 2;
constexpr int kAnode = 4;
constexpr int kSuppressor = 6;
} // namespace

InstrumentModel::InstrumentModel(int powerSupply)
    : m_powerSupply(powerSupply)
{
    m_on.fill(true);
    // Cathode and screen come up switched off, as the supply does after power-on.
    m_on[kCathode] = false;
    m_on[kScreen] = false;
}

QString InstrumentModel::code(int module) const
{
    if (module == kCathode && m_powerSupply == kModelTavrel)
        return QStringLiteral("FI");
    return QString::fromLatin1(kCodes[module]);
}

int InstrumentModel::moduleOf(const QString &code) const
{
    for (int i = 0; i < kModules; ++i)
        if (code == this->code(i))
            return i;
    return -1;
}

bool InstrumentModel::moduleTakes(QChar letter, int module) const
{
    switch (letter.unicode()) {
    case 'R':
        return true;
    case 'V':
        return module <= kScreen;
    case 'S':
        return module == kCathode || module == kScreen;
    case 'G':
        return module > kScreen;
    case 'O':
        return module > kScreen && module != kSuppressor;
    default:
        return false;
    }
}

InstrumentModel::Outcome InstrumentModel::execute(const QString &command)
{
    Outcome outcome;
    if (command.size() < 3)
        return outcome;
    const QChar letter = command.at(0);
    const int module = moduleOf(command.mid(1, 2));
    if (module < 0 || !moduleTakes(letter, module))
        return outcome;
    const QString argument = command.mid(3);
    switch (letter.unicode()) {
    case 'R':
        if (!argument.isEmpty())
            return outcome;
        outcome.dataLine = dataLine(module);
        break;
    case 'V':
        m_value[module] = ValOf(argument);
        break;
    case 'S':
        if (argument == QLatin1String("ON"))
            m_on[module] = true;
        else if (argument == QLatin1String("OFF"))
            m_on[module] = false;
        else
            return outcome;
        break;
    case 'G':
        m_gain[module] = ValOf(argument);
        break;
    case 'O':
        m_offset[module] = ValOf(argument);
        break;
    }
    outcome.understood = true;
    return outcome;
}

float InstrumentModel::cathodeFraction() const
{
    if (!m_on[kCathode])
        return 0.0f;
    return std::clamp(m_value[kCathode] / kCathodeFullScaleA, 0.0f, 1.0f);
}

float InstrumentModel::beamCurrent() const
{
    return kBeamCurrentFullScaleA * cathodeFraction();
}

float InstrumentModel::anodeCurrent() const
{
    return kAnodeCurrentFullScaleA * cathodeFraction();
}

float InstrumentModel::output(int module) const
{
    if (module <= kCathode)
        return m_value[module];
    if (module == kScreen)
        return m_value[kScreen] + kScreenGain / 100.0f * energy();
    const float offset = module == kSuppressor ? 0.0f : m_offset[module];
    return m_gain[module] / 100.0f * energy() + offset;
}

float InstrumentModel::withNoise(float value)
{
    if (m_noise == 0.0f)
        return value;
    const float u = float(m_random.generateDouble() * 2.0 - 1.0);
    return value * (1.0f + m_noise * u);
}

QString InstrumentModel::dataLine(int module)
{
    if (!m_override.at(module).isEmpty())
        return m_override[module];
    const QString code = this->code(module);
    if (!m_on[module])
        return code + QLatin1String(" off");

    float gain = 0.0f;
    float offset = 0.0f;
    const float value = output(module);
    float umon = value;
    float imon = 0.0f;
    if (module == 0) {
        imon = beamCurrent();
    } else if (module == kCathode) {
        umon = value * kFilamentOhms;
        imon = value;
    } else if (module == kScreen) {
        gain = kScreenGain;
        offset = m_value[kScreen];
    } else {
        gain = m_gain[module];
        offset = module == kSuppressor ? 0.0f : m_offset[module];
        if (module == kAnode)
            imon = anodeCurrent();
    }
    umon = withNoise(umon);
    const QChar space = QLatin1Char(' ');
    return code + space + wireNumber(gain) + space + wireNumber(offset) + space + wireNumber(value)
        + space + wireNumber(umon) + space + wireNumber(imon);
}

void InstrumentModel::setMonitorNoise(float fraction, quint32 seed)
{
    m_noise = fraction;
    m_random.seed(seed);
}

void InstrumentModel::setDataLineOverride(int module, const QString &line)
{
    m_override.at(module) = line;
}

QString InstrumentModel::wireNumber(float number)
{
    QString text = StrOf(number);
    const QString separator = QLocale().decimalPoint();
    if (separator != QLatin1String("."))
        text.replace(separator, QStringLiteral("."));
    return text;
}

void InstrumentModel::applyRunningState()
{
    struct Follower
    {
        int module;
        float gainPercent;
        float offsetVolts;
    };
    // Wehnelt below the cathode, anode and lenses above the energy, suppressor just below it.
    static constexpr Follower kFollowers[] = {
        {3, -12.0f, -20.0f}, {4, 150.0f, 0.0f}, {5, 320.0f, 10.0f}, {6, 95.0f, 0.0f}, {7, 180.0f, 5.0f}};
    constexpr float kEnergyEv = 150.0f;
    constexpr float kFilamentA = 2.1f;
    constexpr float kScreenV = 5500.0f;
    for (int module = 0; module < kModules; ++module)
        m_on[module] = true;
    setEnergy(kEnergyEv);
    setSetValue(kCathode, kFilamentA);
    setSetValue(kScreen, kScreenV);
    for (const Follower &follower : kFollowers) {
        setGain(follower.module, follower.gainPercent);
        setOffset(follower.module, follower.offsetVolts);
    }
}
