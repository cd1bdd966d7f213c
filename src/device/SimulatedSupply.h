#pragma once

#include "device/ModuleReading.h"
#include "device/SimulatedState.h"

#include <QString>

#include <functional>

// The supply that simulation mode plays: its state, the rules by which its outputs follow the
// commands sent to it, and the answer to a read command.
class SimulatedSupply
{
public:
    static constexpr float kScreenGain = -100.0f;

    SimulatedSupply();

    SimulatedState &state() { return m_state; }
    const SimulatedState &state() const { return m_state; }
    // Replaces the uniform [0, 1) source of the simulated currents (tests).
    void setRandomSource(std::function<double()> random) { m_random = std::move(random); }

    // The energy rule: the energy module and every follower (output = gain / 100 * energy + offset).
    void setEnergy(float energy);
    // The energy alone, as the control voltage sets it.
    void setControlEnergy(float energy);
    void setCathode(float amps);
    void setScreen(float volts, float energy);
    void setGain(int module, float gain, float energy);
    void setOffset(int module, float offset, float energy);
    void setSwitch(int module, bool on);

    // The data line the supply answers to "R" + `code`; a module switched on also fills
    // `reading` with its numbers.
    QString answer(const QString &code, ModuleReading &reading);

private:
    void applyModuleRule(int module, float energy);

    SimulatedState m_state;
    std::function<double()> m_random;
};
