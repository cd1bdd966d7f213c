#pragma once

// The figures of the whole window in-process (offscreen) against the virtual supply: a full
// read-back at 9600 baud, and the load sequence up to the first complete read-back.
class WindowBench
{
public:
    static constexpr int kPacedReadBacks = 5;
    static constexpr int kStartUps = 5;
    static constexpr double kWireTimeTolerancePercent = 5.0;
    static constexpr double kStartUpTargetMs = 300.0;
    static constexpr double kStallTargetMs = 5.0;
    static constexpr int kStallTickMs = 10;
    static constexpr int kStallWatchMs = 3000; // the read ends at its first time-out (1 s)

    // Figure 4: a read-back pass of the window at 9600 baud vs the wire time.
    static void pacedReadBack();
    // Figure 6, second form: constructing the window and load until the first pass.
    static void loadToFirstReadBack();
    // Figure 11: the longest stall of the window's event loop (a 10 ms timer's lateness) while
    // "Refresh All" reads a supply that never answers.
    static void stallDuringSilentReadBack();
};
