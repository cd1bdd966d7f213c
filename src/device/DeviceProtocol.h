#pragma once

#include "device/ModuleReading.h"

#include <QString>

#include <optional>

class SerialLink;

// The command language of the supply on the wire: set-commands confirmed by their echo, and the
// read command with its data line. Runs on the line's thread; knows nothing of the program's
// state (limits, simulation, who sent what): the supply line does that before and after.
class DeviceProtocol
{
public:
    static constexpr int kSetEchoLines = 5;
    // The read command skips at most this many lines while waiting for its echo.
    static constexpr int kMaxReadSkipLines = 16;

    // What simulation mode writes to the line after a read command, and the reading it makes.
    struct SimulatedAnswer
    {
        QString line;
        ModuleReading reading;
    };

    explicit DeviceProtocol(SerialLink &link);

    qint32 sendCommand(const QString &transmit);
    // The serial port is open; a failed exchange that closed it means the line is gone.
    bool isLineOpen() const;
    // With `simulated`, its line goes out after the read command and is read back (the loopback
    // of simulation mode), over its reading.
    qint32 readModule(const QString &modul, ModuleReading &reading,
                           const std::optional<SimulatedAnswer> &simulated = std::nullopt);

    // Parses a data line into `reading` as the read command does; fields the line does not
    // reach keep their values.
    static void parseDataLine(const QString &line, ModuleReading &reading);

private:
    SerialLink &m_link;
};
