#pragma once

#include "BenchReport.h"
#include "Samples.h"

#include <chrono>
#include <cmath>

// Time a serial wire needs to carry a number of characters: start bit, eight data bits and
// stop bit each, one after the other.
namespace WireTime {

constexpr int kBitsPerCharacter = 10;
constexpr int kBenchBaud = 9600;
constexpr double kTolerancePercent = 5.0; // of a mean time against its wire time
// The supply notes a byte in its log just after handing it over, so the program may already
// have read it; a pause outside the timed part lets the log catch up.
constexpr std::chrono::milliseconds kLogSettle{5};

constexpr double seconds(long long characters, int baud = kBenchBaud)
{
    return double(characters) * kBitsPerCharacter / double(baud);
}

// Measured times against the wire time of the characters each exchange carried.
class Comparison
{
public:
    void add(double ms, long long characters)
    {
        const double wireMs = seconds(characters) * 1000.0;
        m_measuredMs.add(ms);
        m_wireMs.add(wireMs);
        m_deviation.add(100.0 * (ms - wireMs) / wireMs);
    }
    const Samples &measuredMs() const { return m_measuredMs; }
    // Per cent of each time's own wire time.
    const Samples &deviation() const { return m_deviation; }
    // The mean time against the mean wire time, in per cent.
    double meanDeviation() const { return 100.0 * (m_measuredMs.mean() - m_wireMs.mean()) / m_wireMs.mean(); }
    bool withinTolerance() const { return std::abs(meanDeviation()) <= kTolerancePercent; }
    // "41.25 ms vs wire 41.67 ms (-1.01 %)"
    QString summary(int decimals) const
    {
        const double mean = meanDeviation();
        return QStringLiteral("%1 ms vs wire %2 ms (%3%4 %)")
            .arg(BenchReport::fixed(m_measuredMs.mean(), decimals), BenchReport::fixed(m_wireMs.mean(), decimals),
                 mean >= 0 ? QStringLiteral("+") : QString(), BenchReport::fixed(mean, 2));
    }

private:
    Samples m_measuredMs;
    Samples m_wireMs;
    Samples m_deviation;
};

} // namespace WireTime
