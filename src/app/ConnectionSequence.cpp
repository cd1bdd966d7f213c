#include "app/ConnectionSequence.h"

#include "app/ConnectionView.h"
#include "app/ControllerState.h"
#include "device/ReadBack.h"
#include "device/SerialLink.h"

ConnectionSequence::ConnectionSequence(SerialLink &link, ControllerState &state, ReadBack &readBack,
                                       ConnectionView &view)
    : m_link(link), m_state(state), m_readBack(readBack), m_view(view)
{
}

qint32 ConnectionSequence::Init()
{
    const Flag16 connected = toFlag(m_link.R4150DOpen(m_state.commPort));
    m_view.setPanelConnected(connected != 0);
    m_state.table.ModuleCode[1] = ModuleTable::cathodeCodeFor(m_state.powerSupply(), m_state.table.ModuleCode[1]);
    if (connected != 0)
        m_readBack.GetTavrelData(true);
    else
        m_state.autoRefreshFlag = kFalse;
    m_view.setAutoRefreshCheck(m_state.autoRefreshFlag != 0);
    return connected;
}

void ConnectionSequence::portLost()
{
    m_view.setPanelConnected(false);
    m_state.setAutoRefresh(false); // a forced cycle running now sees it and keeps it off
}
