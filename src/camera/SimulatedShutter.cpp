#include "camera/SimulatedShutter.h"

#include <algorithm>
#include <chrono>

namespace {

std::chrono::system_clock::time_point timePoint(qint64 ns)
{
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::nanoseconds(ns)));
}

} // namespace

qint64 SimulatedShutter::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void SimulatedShutter::reset()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = false;
    m_pending = 0;
    m_lastStartNs = 0;
    m_lastEndNs = 0;
}

void SimulatedShutter::cancel()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
}

void SimulatedShutter::setTriggered(bool triggered)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_triggered = triggered;
        m_pending = 0;
    }
    m_wake.notify_all();
}

bool SimulatedShutter::isTriggered() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_triggered;
}

void SimulatedShutter::trigger(int frames)
{
    if (frames <= 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_triggered)
            return;
        m_pending += frames;
    }
    m_wake.notify_all();
}

std::optional<qint64> SimulatedShutter::waitForStart(qint64 minPeriodNs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_cancelled)
            return std::nullopt;
        const qint64 now = nowNs();
        if (m_triggered) {
            if (m_pending == 0) {
                m_wake.wait(lock);
                continue;
            }
            --m_pending;
            m_lastStartNs = now; // the one before has ended: its frame was delivered
            return m_lastStartNs;
        }
        const qint64 due = m_lastStartNs == 0 ? now : std::max(m_lastEndNs, m_lastStartNs + minPeriodNs);
        if (due > now) {
            m_wake.wait_until(lock, timePoint(due));
            continue; // the mode may have changed meanwhile
        }
        m_lastStartNs = now; // an exposure never starts in the past, however late the thread came
        return m_lastStartNs;
    }
}

bool SimulatedShutter::finish(quint64 frameId, qint64 startNs, qint64 exposureNs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const qint64 endNs = startNs + exposureNs;
    while (!m_cancelled && nowNs() < endNs)
        m_wake.wait_until(lock, timePoint(endNs));
    if (m_cancelled)
        return false;
    m_lastEndNs = nowNs();
    m_recent[m_next] = {frameId, {startNs, m_lastEndNs}};
    m_next = (m_next + 1) % kKept;
    return true;
}

std::optional<SimulatedShutter::Exposure> SimulatedShutter::exposure(quint64 frameId) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto &[id, times] : m_recent)
        if (id == frameId && times.endNs != 0)
            return times;
    return std::nullopt;
}
