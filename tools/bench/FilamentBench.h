#pragma once

// The figures of filament care, in-process against the virtual supply at 9600 baud with auto
// refresh running: how late each ramp step reaches the supply against its 250 ms grid, and how
// long a pressure above the limit takes to switch the filament off.
class FilamentBench
{
public:
    static constexpr double kRampRate = 0.5;   // A/s
    static constexpr float kRampTarget = 5.0f; // A: 40 steps, 10 s
    static constexpr int kTrips = 20;
    static constexpr double kIdleTripTargetMs = 50.0;

    // Figure 10a: lateness of the ramp's V commands against the grid of the first one.
    static void rampGrid();
    // Figure 10b: POKE Pressure above the limit on the control link to S<code>OFF at the supply,
    // with the line idle and with auto refresh running.
    static void tripLatency();
};
