#include "device/ConnectionSequence.h"

#include "core/ControllerState.h"
#include "device/ReadBack.h"
#include "device/SupplyLine.h"

ConnectionSequence::ConnectionSequence(SupplyLine &line, ControllerState &state, ReadBack &readBack,
                                       QObject *parent)
    : QObject(parent), m_line(line), m_state(state), m_readBack(readBack)
{
}

void ConnectionSequence::announceConnected(bool connected)
{
    m_connected = connected;
    emit connectedChanged(connected);
}

bool ConnectionSequence::connectSupply()
{
    const bool connected = m_line.open(m_state.commPort);
    announceConnected(connected);
    m_state.table.ModuleCode[1] = ModuleTable::cathodeCodeFor(m_state.powerSupply(), m_state.table.ModuleCode[1]);
    if (connected)
        m_readBack.readAll(true);
    else
        m_state.autoRefreshFlag = false;
    emit autoRefreshCheckChanged(m_state.autoRefreshFlag);
    return connected;
}

void ConnectionSequence::disconnectLostPort()
{
    announceConnected(false);
    m_state.setAutoRefresh(false); // a forced cycle running now sees it and keeps it off
}
