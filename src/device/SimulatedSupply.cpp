#include "device/SimulatedSupply.h"

#include "core/Conversions.h"

#include <QRandomGenerator>

namespace {
using namespace Module;
constexpr float kBeamCurrentScaleA = -0.00001f; // simulated beam current: -10 uA .. 0
constexpr float kAnodeCurrentScaleA = 0.01f;     // simulated anode current: 0 .. 10 mA
constexpr float kPercent = 100.0f;
} // namespace

SimulatedSupply::SimulatedSupply() : m_random([] { return QRandomGenerator::global()->generateDouble(); }) {}

void SimulatedSupply::setEnergy(float energy)
{
    setControlEnergy(energy);
    for (int i = kFirstFollower; i < kModuleCount; ++i)
        applyModuleRule(i, energy);
}

void SimulatedSupply::setControlEnergy(float energy)
{
    m_state.SimValue[kEnergy] = energy;
    m_state.SimUMon[kEnergy] = energy;
}

void SimulatedSupply::setCathode(float amps)
{
    m_state.SimValue[kCathode] = amps;
    m_state.SimIMon[kCathode] = amps;
}

void SimulatedSupply::setScreen(float volts, float energy)
{
    m_state.SimGain[kScreen] = kScreenGain;
    m_state.SimOffset[kScreen] = volts;
    applyModuleRule(kScreen, energy);
}

void SimulatedSupply::setGain(int module, float gain, float energy)
{
    m_state.SimGain[module] = gain;
    applyModuleRule(module, energy);
}

void SimulatedSupply::setOffset(int module, float offset, float energy)
{
    m_state.SimOffset[module] = offset;
    applyModuleRule(module, energy);
}

void SimulatedSupply::setSwitch(int module, bool on)
{
    m_state.SimSwitch[module] = on ? 0 : 1;
}

void SimulatedSupply::applyModuleRule(int module, float energy)
{
    m_state.SimValue[module] = m_state.SimGain[module] / kPercent * energy + m_state.SimOffset[module];
    m_state.SimUMon[module] = m_state.SimValue[module];
}

QString SimulatedSupply::answer(const QString &code, ModuleReading &reading)
{
    int index = ModuleTable::indexOfCode(code);
    if (index < 0)
        index = 0;
    if (code == QLatin1String("EN"))
        m_state.SimIMon[kEnergy] = float(m_random()) * kBeamCurrentScaleA;
    else if (code == QLatin1String("SC"))
        m_state.SimGain[kScreen] = kScreenGain;
    else if (code == QLatin1String("AN"))
        m_state.SimIMon[kAnode] = float(m_random()) * kAnodeCurrentScaleA;
    if (m_state.SimSwitch[index] == 1)
        return code + QStringLiteral(" off");
    reading.Gain = m_state.SimGain[index];
    reading.Offset = m_state.SimOffset[index];
    reading.value = m_state.SimValue[index];
    reading.Umon = m_state.SimUMon[index];
    reading.Imon = m_state.SimIMon[index];
    QString answer = code;
    for (float number : {reading.Gain, reading.Offset, reading.value, reading.Umon, reading.Imon})
        answer += QLatin1Char(' ') + StrOf(number);
    return answer;
}
