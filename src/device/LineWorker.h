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

    // Work for the window's thread begins: the link's events are kept for it from here on.
    // Returns the call's number, counting up.
    quint64 beginCall(const QString &caption);
    LineEvents endCall();
    // Events that happened between calls (a hang-up seen by the port's notifier).
    LineEvents takeEvents() { return m_log.take(); }

    SerialLink &link() { return m_link; }
    DeviceProtocol &protocol() { return m_protocol; }

signals:
    // Events happened between two calls; take them.
    void eventsPending();

private:
    void record(LineEvent::Kind kind, SerialLink::Lamp lamp = SerialLink::Lamp::Default, const QString &text = {});

    LineEventLog m_log;
    QString m_caption; // the window's caption at the last call, for message titles
    SerialLink m_link;
    DeviceProtocol m_protocol;
    bool m_inCall = false;
    quint64 m_calls = 0;
    bool m_flushQueued = false;
};
