#pragma once

#include <QString>

class ControllerState;
class DeviceProtocol;
class PanelAccess;
struct SimulatedState;

// The control-voltage input DA_set_voltage: its text is a voltage, the energy is 100 times it.
// A change sends the energy at once (the one panel path that does not wait for the refresh
// cycle) and withdraws a pending mark of the energy field. No range check.
class ControlVoltage
{
public:
    static constexpr float kElectronVoltsPerVolt = 100.0f;

    ControlVoltage(PanelAccess &panel, DeviceProtocol &protocol, ControllerState &state, SimulatedState &sim);

    void DA_set_voltage_Change(const QString &text);
    // While set, a change only shows its text (a read-back that must not echo its reading).
    void setShowOnly(bool showOnly) { m_showOnly = showOnly; }

private:
    PanelAccess &m_panel;
    DeviceProtocol &m_protocol;
    ControllerState &m_state;
    SimulatedState &m_sim;
    bool m_showOnly = false;
};
