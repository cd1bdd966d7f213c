#pragma once

#include <QtGlobal>

#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

// When the simulated camera's exposures start and end. Free running, each exposure starts as the
// one before ends, no more often than the frame rate allows; triggered, one starts for each
// trigger, at once, as a camera with a software trigger does. The fake camera's thread waits
// here; any other thread triggers, switches the mode or ends the stream. Wall-clock nanoseconds.
class SimulatedShutter
{
public:
    struct Exposure
    {
        qint64 startNs;
        qint64 endNs;
    };

    // A new stream: free running or triggered as before, no trigger waiting.
    void reset();
    // The stream ends: whoever waits returns at once, and so does every later wait until reset().
    void cancel();
    void setTriggered(bool triggered);
    bool isTriggered() const;
    // As many exposures more, each starting once the one before has ended.
    void trigger(int frames);

    // Waits until the next exposure starts and returns its start; nothing once cancelled.
    std::optional<qint64> waitForStart(qint64 minPeriodNs);
    // Waits until the exposure begun at startNs has lasted exposureNs, and keeps its times for
    // the frame; false once cancelled.
    bool finish(quint64 frameId, qint64 startNs, qint64 exposureNs);
    // The times of a frame finished lately.
    std::optional<Exposure> exposure(quint64 frameId) const;

    static qint64 nowNs();

private:
    static constexpr std::size_t kKept = 32; // far more than the stream's buffers

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_cancelled = false;
    bool m_triggered = false;
    int m_pending = 0;
    qint64 m_lastStartNs = 0;
    qint64 m_lastEndNs = 0;
    std::array<std::pair<quint64, Exposure>, kKept> m_recent{};
    std::size_t m_next = 0;
};
