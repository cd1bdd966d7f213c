#include "WirePacer.h"

#include <algorithm>

WirePacer::WirePacer(int baud)
    : m_baud(std::max(0, baud))
{
    if (m_baud > 0)
        m_character = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(kBitsPerCharacter) / double(m_baud)));
}

WirePacer::Clock::time_point WirePacer::arrival(Clock::time_point readAt)
{
    if (!paced())
        return readAt;
    // Even a byte read at once has spent one character time on the wire.
    m_lastArrival = std::max(readAt, m_lastArrival) + m_character;
    return m_lastArrival;
}

void WirePacer::beginOutput(Clock::time_point notBefore)
{
    // A byte is handed over once the wire would have finished carrying it.
    m_nextDue = std::max(m_nextDue, notBefore + m_character);
}

int WirePacer::bytesDue(Clock::time_point now, int available) const
{
    if (available <= 0 || now < m_nextDue)
        return 0;
    if (!paced())
        return available;
    const auto late = now - m_nextDue;
    const long long extra = late / m_character;
    return int(std::min<long long>(available, 1 + extra));
}

void WirePacer::sent(int count)
{
    if (paced())
        m_nextDue += m_character * count;
}
