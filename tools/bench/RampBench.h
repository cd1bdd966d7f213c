#pragma once

// The figures of the energy ramp in-process (offscreen) against the virtual supply at 9600 baud:
// a ramp without waits against the wire time of its exchanges, the overhead of a step beyond its
// settle time, the handshake's overhead, and the CPU while a ramp waits.
class RampBench
{
public:
    static constexpr int kBackToBackSteps = 101;
    static constexpr int kSettledSteps = 21;
    static constexpr int kSettleMs = 100;
    static constexpr int kDwellMs = 2000;
    static constexpr double kWireTimeFactor = 1.03;
    static constexpr double kSettleOverheadMs = 2.0;
    static constexpr double kHandshakeOverheadMs = 1.0;
    static constexpr int kMonitorDwellMs = 1000;
    static constexpr int kMonitorSteps = 8;
    static constexpr double kMonitorAgeS = 2.0;

    // Figure 8a: 101 steps with T = 0 and D = 0 against the wire time of their VEN and REN.
    static void backToBack();
    // Figure 8b: T = 100 ms: each step's time beyond T plus its wire time (median).
    static void settleOverhead();
    // Figure 8c: the handshake with a client that acknowledges at once, against D = 0.
    static void handshakeOverhead();
    // Figure 8d: process CPU while a ramp dwells.
    static void waitingCpu();
    // Figure 8e: D = 1000 ms with auto refresh on: the longest time between two complete
    // read-backs of all eight modules while the ramp runs.
    static void monitorAge();
};
