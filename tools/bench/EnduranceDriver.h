#pragma once

#include <QtGlobal>

// Runs the whole window in-process (offscreen) against the unpaced virtual supply with
// refresh cycles back to back and auto refresh on, while control-link clients come and go,
// and reports resident memory after warm-up and at the end, and every message recorded.
class EnduranceDriver
{
public:
    struct Options
    {
        qint64 moduleReads = 100000;
        int warmUpCycles = 1000;
        int clients = 2;
        int maxSeconds = 1800;   // a run that gets this slow ends early and says so
    };

    static constexpr qint64 kGrowthTargetKiB = 2048;
    static constexpr int kSamples = 10;   // memory samples printed along the way

    explicit EnduranceDriver(Options options) : m_options(options) {}

    // Prints the figures; false when the run could not start.
    bool run();

private:
    Options m_options;
};
