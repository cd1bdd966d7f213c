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

LineTask<bool> ConnectionSequence::connectSupply()
{
    const SupplyLine::Lease lease = co_await m_line.acquire();
    const bool connected = co_await openAndReadBack();
    co_return connected;
}

LineTask<bool> ConnectionSequence::changePort(qint16 commPort)
{
    m_state.setCommPort(commPort);
    const SupplyLine::Lease lease = co_await m_line.acquire();
    co_await m_line.closePort();
    const bool connected = co_await openAndReadBack();
    co_return connected;
}

LineTask<bool> ConnectionSequence::openAndReadBack()
{
    const qint32 commPort = m_state.commPort;
    const bool connected = co_await m_line.openPort(commPort);
    announceConnected(connected);
    m_state.table.ModuleCode[1] = ModuleTable::cathodeCodeFor(m_state.powerSupply(), m_state.table.ModuleCode[1]);
    if (!connected)
        m_state.autoRefreshFlag = false;
    emit autoRefreshCheckChanged(m_state.autoRefreshFlag);
    if (connected) {
        const bool setValues = true;
        co_await m_readBack.pass(setValues);
    }
    co_return connected;
}

void ConnectionSequence::disconnectLostPort()
{
    announceConnected(false);
    m_state.setAutoRefresh(false); // a forced cycle running now sees it and keeps it off
}
