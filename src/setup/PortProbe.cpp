#include "setup/PortProbe.h"

#include "device/PortTable.h"

PortProbe::PortProbe(Factory factory) : m_factory(std::move(factory))
{
    if (!m_factory)
        m_factory = [](int port) { return PortTable::create(port); };
}

PortProbe::Outcome PortProbe::outcomeFor(SerialPort::Error error)
{
    switch (error) {
    case SerialPort::Error::NotFound:
    case SerialPort::Error::NotPresent:
        return Outcome::Absent;
    case SerialPort::Error::InUse:
        return Outcome::InUse;
    case SerialPort::Error::NoPermission:
        return Outcome::NoPermission;
    default:
        return Outcome::Free;
    }
}

PortProbe::Entry PortProbe::probe(int port) const
{
    Entry entry;
    entry.port = port;
    entry.path = PortTable::pathFor(port);

    std::unique_ptr<SerialPort> device = m_factory(port);
    if (!device) {
        // No port object can be made for this number: nothing to list.
        entry.outcome = Outcome::Absent;
        return entry;
    }
    if (device->open()) {
        entry.outcome = Outcome::Free;
        device->close();
        return entry;
    }
    entry.outcome = outcomeFor(device->error());
    device->close();
    return entry;
}

QList<PortProbe::Entry> PortProbe::probeAll() const
{
    QList<Entry> entries;
    for (int port = PortTable::kFirstPort; port <= PortTable::kLastPort; ++port)
        entries.append(probe(port));
    return entries;
}
