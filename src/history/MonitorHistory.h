#pragma once

#include "device/ModuleReading.h"
#include "history/MonitorSample.h"

#include <array>
#include <deque>
#include <vector>

// The readings of the last day and more, in memory: a ring of samples, oldest first. The
// monitors change with every sample; gains, offsets and set values rarely do, so consecutive
// samples share one copy of them. Memory stays under kMaxBytes whatever comes in.
class MonitorHistory
{
public:
    // 25.6 hours at one read-back a second.
    static constexpr int kCapacity = 92160;
    static constexpr qint64 kMaxBytes = 9 * 1024 * 1024 + 512 * 1024;

    MonitorHistory();

    // Times never run backwards in the ring: a sample older than the last takes its time.
    void addSample(qint64 msecs, const std::array<ModuleReading, kModuleCount> &readings);

    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // 0 is the oldest sample.
    MonitorSample sampleAt(int index) const;
    qint64 timeAt(int index) const { return m_ring[ringSlot(index)].msecs; }
    // The index of the first sample at or after `msecs` (size() when there is none).
    int firstAtOrAfter(qint64 msecs) const;
    // Samples ever added; tells a reader how many arrived since it last looked.
    quint64 totalAdded() const { return m_totalAdded; }
    // What the ring holds now, its reserved slots included.
    qint64 memoryBytes() const;

private:
    struct Stored
    {
        qint64 msecs;
        std::array<float, kModuleCount> umon;
        std::array<float, kModuleCount> imon;
        quint32 settings; // sequence number of its Settings
        quint8 onBits;
    };
    struct Settings
    {
        std::array<float, kModuleCount> gain;
        std::array<float, kModuleCount> offset;
        std::array<float, kModuleCount> value;
        bool operator==(const Settings &other) const;
    };

    int ringSlot(int index) const { return (m_head + index) % kCapacity; }
    void dropOldest();
    const Settings &settingsOf(const Stored &stored) const;

    std::vector<Stored> m_ring;
    int m_head = 0;
    int m_size = 0;
    std::deque<Settings> m_settings;
    quint32 m_firstSettings = 0; // sequence number of m_settings.front()
    quint64 m_totalAdded = 0;
};
