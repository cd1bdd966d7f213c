#pragma once

#include "core/CommandSource.h"
#include "device/LineTask.h"

#include <QString>

class ControllerState;
class SupplyLine;
class SupplyModel;
class SimulatedSupply;

// The control-voltage input DA_set_voltage: its text is a voltage, the energy is 100 times it.
// A change sends the energy at once (the one panel path that does not wait for the refresh
// cycle): a job ahead of those waiting, right after the one that has the line. It withdraws a
// pending mark of the energy field. An energy beyond its limits is ignored.
class ControlVoltage
{
public:
    static constexpr float kElectronVoltsPerVolt = 100.0f;

    ControlVoltage(SupplyModel &model, SupplyLine &line, ControllerState &state, SimulatedSupply &sim);

    void apply(const QString &text);

private:
    LineTask<> send(QString command, CommandSource source);

    SupplyModel &m_model;
    SupplyLine &m_line;
    ControllerState &m_state;
    SimulatedSupply &m_sim;
};
