#pragma once

#include "device/SerialPort.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

// Finds out which of the ports 1..8 exist and which are held open, by opening and closing each
// with a port object of its own (never the link's). Widget-free.
class PortProbe
{
public:
    enum class Outcome {
        Absent,       // the device path does not exist, or nothing is behind the node
        InUse,        // held open, by this program's own link or by another program
        NoPermission, // the user may not open the device (not in group dialout)
        Free,         // opened, or any other outcome
    };

    struct Entry
    {
        int port = 0;
        Outcome outcome = Outcome::Absent;
        QString path; // as configured in the port table
    };

    // Makes a port object for a port number; the default is the port table's.
    using Factory = std::function<std::unique_ptr<SerialPort>(int)>;

    explicit PortProbe(Factory factory = {});

    // Opens and closes one port and classifies what happened.
    Entry probe(int port) const;
    // Ports 1..8 in order, absent ones included.
    QList<Entry> probeAll() const;

    static Outcome outcomeFor(SerialPort::Error error);

private:
    Factory m_factory;
};
