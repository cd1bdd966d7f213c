#pragma once

#include "device/LineTask.h"

#include <QObject>

class ControllerState;
class ReadBack;
class SupplyLine;

// Opens the chosen port, puts the program into the connected or not-connected state and,
// when connected, reads every module into the model. May run any number of times. The state is
// announced, so the timer, the menus and the panel follow it.
class ConnectionSequence : public QObject
{
    Q_OBJECT
public:
    ConnectionSequence(SupplyLine &line, ControllerState &state, ReadBack &readBack, QObject *parent = nullptr);

    // A job: opens the port of the settings and, when it opened, reads the supply back within
    // the same hold of the line. True when the port opened.
    LineTask<bool> connectSupply();
    // A job: the open port closes and the one chosen in the setup opens, as connectSupply()
    // does, with nothing of another job between.
    LineTask<bool> changePort(qint16 commPort);
    // The open port went away (hang-up, adapter pulled): the not-connected state, as when no
    // port opens, so that nothing polls the dead line and the shut-down sends nothing to it.
    void disconnectLostPort();

    bool isConnected() const { return m_connected; }

signals:
    // The timer, the profile and refresh menus, every field, spin control and switch button and
    // DA_set_voltage follow it.
    void connectedChanged(bool connected);
    // The check mark of "&Auto Refresh" (the flag itself was written directly).
    void autoRefreshCheckChanged(bool checked);

private:
    void announceConnected(bool connected);
    // Opens and reads back; the caller holds the line.
    LineTask<bool> openAndReadBack();

    SupplyLine &m_line;
    ControllerState &m_state;
    ReadBack &m_readBack;
    bool m_connected = false;
};
