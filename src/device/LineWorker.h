#pragma once

#include "device/DeviceProtocol.h"
#include "device/LineEventLog.h"
#include "device/SerialLink.h"

#include <QObject>

// The serial link and the protocol on the line's thread. Everything here runs on that thread;
// the supply line hands it work and takes back what the link told meanwhile.
class LineWorker : public QObject
{
    Q_OBJECT
public:
    LineWorker();

    // What one call for the window's thread leaves: its number (counting up), the port's state
    // after it, and what the link told meanwhile (with what happened before the call began).
    struct Outcome
    {
        quint64 call = 0;
        bool open = false;
        QString devicePath;
        LineEvents events;
    };

    // Runs `work` as one call for the window's thread; the link's events are kept for it.
    template <typename Work>
    Outcome call(const QString &caption, Work &&work)
    {
        beginCall(caption);
        work();
        Outcome outcome;
        outcome.call = m_calls;
        outcome.open = m_link.isOpen();
        outcome.devicePath = m_link.devicePath();
        outcome.events = endCall();
        return outcome;
    }
    // Events that happened between calls (a hang-up seen by the port's notifier).
    LineEvents takeEvents() { return m_log.take(); }

    SerialLink &link() { return m_link; }
    DeviceProtocol &protocol() { return m_protocol; }

signals:
    // Events happened between two calls; take them.
    void eventsPending();

private:
    void beginCall(const QString &caption);
    LineEvents endCall();
    void record(LineEvent::Kind kind, SerialLink::Lamp lamp = SerialLink::Lamp::Default, const QString &text = {});

    LineEventLog m_log;
    SerialLink m_link;
    DeviceProtocol m_protocol;
    bool m_inCall = false;
    quint64 m_calls = 0;
    bool m_flushQueued = false;
};
