#pragma once

// The figures of filament care, in-process against the virtual supply at 9600 baud with auto
// refresh running: how late each ramp step reaches the supply against its 250 ms grid, and how
// long a pressure above the limit takes to switch the filament off.
class FilamentBench
{
public:
    static constexpr float kRampTarget = 2.0f; // A, within the cathode's limit (2.3 A)
    static constexpr int kRampSteps = 40;      // 10 s on the 250 ms grid
    static constexpr int kTrips = 20;
    static constexpr double kIdleTripTargetMs = 50.0;

    // Figure 10a: lateness of the ramp's V commands against the grid of the first one.
    static void rampGrid();
    // Figure 10b: POKE Pressure above the limit on the control link to S<code>OFF at the supply,
    // with the line idle and with auto refresh running.
    static void tripLatency();
};
