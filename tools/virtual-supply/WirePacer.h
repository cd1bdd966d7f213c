#pragma once

#include <chrono>

// Times the line like a serial wire at a given baud, 10 bits a character (start, 8 data,
// stop): received bytes "arrive" no faster than the wire could carry them, and bytes go out
// no faster either. Baud 0 means no pacing at all.
class WirePacer
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kBitsPerCharacter = 10;

    explicit WirePacer(int baud = 0);

    bool paced() const { return m_baud > 0; }
    int baud() const { return m_baud; }
    Clock::duration characterTime() const { return m_character; }

    // When a byte read at `readAt` has fully arrived on the wire: never before the previous
    // byte plus one character time.
    Clock::time_point arrival(Clock::time_point readAt);

    // Starts sending a piece of output that may leave no earlier than `notBefore`.
    void beginOutput(Clock::time_point notBefore);
    // How many of `available` bytes may be handed over at `now`.
    int bytesDue(Clock::time_point now, int available) const;
    // Records `count` bytes as handed over.
    void sent(int count);
    // When the next byte may go.
    Clock::time_point nextDue() const { return m_nextDue; }

private:
    int m_baud;
    Clock::duration m_character{};
    Clock::time_point m_lastArrival{};
    Clock::time_point m_nextDue{};
};
