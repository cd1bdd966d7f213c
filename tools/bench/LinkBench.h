#pragma once

// The figures of the device layer alone (serial link and command protocol against the virtual
// supply in-process): transaction overhead, CPU while waiting, and one paced read command.
class LinkBench
{
public:
    static constexpr int kOverheadCalls = 1000;
    static constexpr int kWarmUpCalls = 50;
    static constexpr int kSilentReads = 10;
    static constexpr int kPacedReads = 20;

    static constexpr double kOverheadTargetUs = 200.0;
    static constexpr double kWaitingCpuTargetPercent = 1.0;
    static constexpr double kWireTimeTolerancePercent = 5.0;

    // Figure 1: sendCommand against the unpaced supply, mean and 99th percentile.
    static void transactionOverhead();
    // Figure 2: CPU of the reading thread while reads wait for a silent supply.
    static void waitingCpu();
    // Figure 3: one read command at 9600 baud against the wire time of its bytes.
    static void pacedRead();
};
