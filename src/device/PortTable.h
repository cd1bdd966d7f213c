#pragma once

#include <QString>

#include <memory>

class SerialPort;
class QSettings;

// Port numbers 1..8 (COM1: .. COM8:) map to device paths through the settings store, section
// "Ports", keys "COM1".."COM8". The value "loopback" names the built-in loopback line.
class PortTable
{
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 8;
    static inline const QString kLoopback = QStringLiteral("loopback");

    // The device path configured for a port (default /dev/ttyS0-3, /dev/ttyUSB0-3);
    // empty for a port number outside 1..8.
    static QString pathFor(int port);
    static QString defaultPathFor(int port);
    // Writes the mapping (used by tests and the demo launcher).
    static void setPath(int port, const QString &path);
    // The path with symbolic links resolved; unchanged when it does not resolve.
    static QString resolved(const QString &path);
    // A port object for the configured path (QSerialPort or loopback), not yet open.
    static std::unique_ptr<SerialPort> create(int port);
    static std::unique_ptr<SerialPort> createForPath(const QString &path);
};
