#pragma once

#include <QString>

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class VirtualSupply;

// Notes the moment every command reaches the virtual supply, from a thread of its own, so
// that a benchmark can tell when the program under test got to a given point of its traffic
// (for example the last read command of the first pass) without touching the program.
class CommandClock
{
public:
    using Clock = std::chrono::steady_clock;

    struct Arrival
    {
        QString command;
        Clock::time_point at;
    };

    // The last read command of a read-back pass: once it has arrived, every monitor is fresh.
    static inline const QString kLastReadOfPass = QStringLiteral("RL2");

    explicit CommandClock(VirtualSupply &supply);
    ~CommandClock();
    CommandClock(const CommandClock &) = delete;
    CommandClock &operator=(const CommandClock &) = delete;

    // Clears the supply's log and starts noting arrivals.
    void start();
    void stop();

    std::vector<Arrival> arrivals() const;
    // The first arrival of a command starting with `prefix` at or after index `from`, with its index.
    std::optional<std::pair<int, Arrival>> find(const QString &prefix, int from = 0) const;
    // Waits until such a command has arrived (at or after index `from`) or `timeoutMs` passed.
    std::optional<std::pair<int, Arrival>> waitFor(const QString &prefix, int timeoutMs, int from = 0) const;

private:
    void run();

    VirtualSupply &m_supply;
    mutable std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
    std::thread m_thread;
    bool m_stop = false;
};
