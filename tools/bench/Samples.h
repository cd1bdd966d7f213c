#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

// Measured values of one figure (any unit), with the summaries the report prints.
class Samples
{
public:
    void add(double value) { m_values.push_back(value); }
    bool empty() const { return m_values.empty(); }
    int count() const { return int(m_values.size()); }
    double at(int index) const { return m_values.at(std::size_t(index)); }

    double mean() const;
    double min() const;
    double max() const;
    // Nearest-rank percentile, 0 < p <= 100.
    double percentile(double p) const;
    double median() const { return percentile(50.0); }

private:
    std::vector<double> m_values;
};

// A measured span in milliseconds.
inline double milliseconds(std::chrono::steady_clock::duration span)
{
    return std::chrono::duration<double, std::milli>(span).count();
}
