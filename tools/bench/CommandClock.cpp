#include "CommandClock.h"

#include "VirtualSupply.h"

namespace {
// How long one wait of the watcher lasts before it looks at its stop flag again.
constexpr int kWatchSliceMs = 50;
constexpr int kPollSliceMs = 1;
} // namespace

CommandClock::CommandClock(VirtualSupply &supply) : m_supply(supply) {}

CommandClock::~CommandClock()
{
    stop();
}

void CommandClock::start()
{
    stop();
    m_supply.clearLog();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrivals.clear();
        m_stop = false;
    }
    m_thread = std::thread([this] { run(); });
}

void CommandClock::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
}

void CommandClock::run()
{
    int seen = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                return;
        }
        if (!m_supply.waitForCommands(seen + 1, kWatchSliceMs))
            continue;
        // The supply wakes its waiters as soon as it has framed a command: take the time first.
        const Clock::time_point now = Clock::now();
        const QStringList commands = m_supply.receivedCommands();
        std::lock_guard<std::mutex> lock(m_mutex);
        for (; seen < commands.size(); ++seen)
            m_arrivals.push_back(Arrival{commands.at(seen), now});
    }
}

std::vector<CommandClock::Arrival> CommandClock::arrivals() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrivals;
}

std::optional<std::pair<int, CommandClock::Arrival>> CommandClock::find(const QString &prefix, int from) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = std::max(0, from); i < int(m_arrivals.size()); ++i) {
        if (m_arrivals[size_t(i)].command.startsWith(prefix))
            return std::make_pair(i, m_arrivals[size_t(i)]);
    }
    return std::nullopt;
}

std::optional<std::pair<int, CommandClock::Arrival>> CommandClock::waitFor(const QString &prefix, int timeoutMs,
                                                                           int from) const
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (auto found = find(prefix, from))
            return found;
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollSliceMs));
    }
}
