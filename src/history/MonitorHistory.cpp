#include "history/MonitorHistory.h"

#include <cstring>

namespace {
// The deque's own blocks and bookkeeping, counted generously.
constexpr qint64 kDequeOverheadBytes = 4096;
} // namespace

bool MonitorHistory::Settings::operator==(const Settings &other) const
{
    // Bitwise: a NaN read twice is the same reading, and -0 differs from 0 as the supply wrote it.
    return std::memcmp(this, &other, sizeof(Settings)) == 0;
}

MonitorHistory::MonitorHistory()
{
    // Reserved once: the pages are only touched, and counted by the system, as samples arrive.
    m_ring.reserve(kCapacity);
}

void MonitorHistory::addSample(qint64 msecs, const std::array<ModuleReading, kModuleCount> &readings)
{
    if (m_size > 0 && msecs < timeAt(m_size - 1))
        msecs = timeAt(m_size - 1);
    Settings settings;
    std::memset(&settings, 0, sizeof settings); // padding-free, but compared bitwise
    Stored stored{};
    stored.msecs = msecs;
    for (int i = 0; i < kModuleCount; ++i) {
        const ModuleReading &reading = readings[i];
        settings.gain[i] = reading.Gain;
        settings.offset[i] = reading.Offset;
        settings.value[i] = reading.value;
        stored.umon[i] = reading.Umon;
        stored.imon[i] = reading.Imon;
        if (reading.OnOff != 0)
            stored.onBits |= quint8(1u << i);
    }
    if (m_settings.size() == 0 || !(m_settings.back() == settings))
        m_settings.push_back(settings);
    stored.settings = m_firstSettings + quint32(m_settings.size() - 1);

    if (m_size == kCapacity)
        dropOldest();
    if (int(m_ring.size()) < kCapacity) {
        m_ring.push_back(stored);
    } else {
        m_ring[ringSlot(m_size)] = stored;
    }
    ++m_size;
    ++m_totalAdded;
    while (memoryBytes() > kMaxBytes && m_size > 1)
        dropOldest();
}

void MonitorHistory::dropOldest()
{
    m_head = (m_head + 1) % kCapacity;
    --m_size;
    const quint32 stillUsed = m_size > 0 ? m_ring[ringSlot(0)].settings : m_firstSettings + quint32(m_settings.size()) - 1;
    while (m_firstSettings < stillUsed && m_settings.size() > 0) {
        m_settings.pop_front();
        ++m_firstSettings;
    }
}

const MonitorHistory::Settings &MonitorHistory::settingsOf(const Stored &stored) const
{
    return m_settings[stored.settings - m_firstSettings];
}

MonitorSample MonitorHistory::sampleAt(int index) const
{
    const Stored &stored = m_ring[ringSlot(index)];
    const Settings &settings = settingsOf(stored);
    MonitorSample sample;
    sample.msecs = stored.msecs;
    for (int i = 0; i < kModuleCount; ++i) {
        HistoryReading &module = sample.modules[i];
        module.gain = settings.gain[i];
        module.offset = settings.offset[i];
        module.value = settings.value[i];
        module.umon = stored.umon[i];
        module.imon = stored.imon[i];
        module.on = (stored.onBits >> i) & 1u;
    }
    return sample;
}

int MonitorHistory::firstAtOrAfter(qint64 msecs) const
{
    int low = 0;
    int high = m_size;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (timeAt(middle) < msecs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

qint64 MonitorHistory::memoryBytes() const
{
    return qint64(m_ring.capacity()) * qint64(sizeof(Stored)) + qint64(m_settings.size()) * qint64(sizeof(Settings))
           + kDequeOverheadBytes;
}
