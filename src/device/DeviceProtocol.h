#pragma once

#include "core/CommandSource.h"
#include "device/ModuleReading.h"

#include <QString>

#include <functional>
#include <vector>

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
    // The serial port is open; a failed exchange that closed it means the line is gone.
    bool isLineOpen() const;
    qint32 GetModuleValues(const QString &modul, ModuleReading &reading);

    // Parses a data line into `reading` as the read command does; fields the line does not
    // reach keep their values.
    static void parseDataLine(const QString &line, ModuleReading &reading);

    // Told of every set-command after its exchange: the text, the status and who caused it.
    using SentObserver = std::function<void(const QString &command, qint32 result, CommandSource source)>;
    void addSentObserver(SentObserver observer) { m_sentObservers.push_back(std::move(observer)); }

private:
    qint32 exchangeSetCommand(const QString &transmit);

    SerialLink &m_link;
    ControllerState &m_state;
    SimulatedSupply &m_sim;
    std::vector<SentObserver> m_sentObservers;
};
