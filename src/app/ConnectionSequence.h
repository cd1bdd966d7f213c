#pragma once

#include <QtGlobal>

class ConnectionView;
class ControllerState;
class ReadBack;
class SerialLink;

// Init: opens the chosen port, puts the panel into the connected or not-connected state and,
// when connected, reads every module onto the panel. May run any number of times.
class ConnectionSequence
{
public:
    ConnectionSequence(SerialLink &link, ControllerState &state, ReadBack &readBack, ConnectionView &view);

    // -1 when the port opened, 0 when not.
    qint32 Init();
    // The open port went away (hang-up, adapter pulled): the panel goes to the not-connected
    // state as when no port opens, so that nothing polls the dead line and the shut-down sends
    // nothing to it.
    void portLost();

private:
    SerialLink &m_link;
    ControllerState &m_state;
    ReadBack &m_readBack;
    ConnectionView &m_view;
};
