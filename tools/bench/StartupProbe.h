#pragma once

#include <QString>

// Starts the real program as a separate process against the virtual supply (unpaced, in this
// process) and notes when its traffic shows the first complete read-back: the last read
// command of the first pass ("RL2") and the control-voltage command ("VEN...") that showing
// that pass on the panel sends at once. Each run is a fresh process; the first run meets cold
// caches.
class StartupProbe
{
public:
    static constexpr int kDefaultRuns = 5;
    static constexpr double kTargetMs = 300.0;

    explicit StartupProbe(QString program) : m_program(std::move(program)) {}

    // Prints the figure; false when the program could not be measured at all.
    bool run(int runs);

private:
    QString m_program;
};
