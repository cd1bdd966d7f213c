#pragma once

#include "device/ModuleReading.h"

#include <QString>

class SerialLink;
class ControllerState;
class SimulatedSupply;

// The command language of the supply: set-commands confirmed by their echo, and the read
// command with its data line; in simulation mode the program answers its own reads.
class DeviceProtocol
{
public:
    static constexpr int kSetEchoLines = 5;
    // The read command skips at most this many lines while waiting for its echo.
    static constexpr int kMaxReadSkipLines = 16;

    DeviceProtocol(SerialLink &link, ControllerState &state, SimulatedSupply &sim);

    qint32 SetParameter(const QString &transmit);
    qint32 GetModuleValues(const QString &modul, ModuleReading &reading);

    // Parses a data line into `reading` as the read command does; fields the line does not
    // reach keep their values.
    static void parseDataLine(const QString &line, ModuleReading &reading);

private:
    SerialLink &m_link;
    ControllerState &m_state;
    SimulatedSupply &m_sim;
};
