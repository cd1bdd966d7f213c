#pragma once

#include <QString>
#include <QtGlobal>

// The figures of the performance report, each printing a few detail lines and one RESULT line
// (BenchReport.h). The window runs in-process and offscreen, against the virtual supply.

// The supply line alone, without the window.
namespace LinkBench {
// Figure 1: a set-command through the line (its thread and back), unpaced: mean and 99th percentile.
void transactionOverhead();
// Figure 3: one read command at 9600 baud against the wire time of its bytes.
void pacedRead();
} // namespace LinkBench

namespace WindowBench {
// Figure 4: a read-back pass of the window at 9600 baud against the wire time.
void pacedReadBack();
// Figure 11: the longest stall of the window's event loop (a 10 ms timer's lateness) while
// "Refresh All" reads a supply that never answers.
void stallDuringSilentReadBack();
// Figure 6: the real program started as a process of its own, to its first read-back shown;
// false when it could not be measured at all.
bool programStartUp(const QString &program, int runs);
constexpr int kDefaultStartUps = 5;
} // namespace WindowBench

// The energy ramp at 9600 baud.
namespace RampBench {
// Figure 8a: 101 steps with T = 0 and D = 0 against the wire time of their VEN and REN.
void backToBack();
// Figure 8b: T = 100 ms: each step's time beyond T plus its wire time (median).
void settleOverhead();
// Figure 8c: the handshake with a client that acknowledges at once, against D = 0.
void handshakeOverhead();
// Figure 8e: D = 1000 ms with auto refresh on: the longest time between two complete read-backs.
void monitorAge();
} // namespace RampBench

// The monitor history.
namespace RecordsBench {
// Figure 9a: 24 hours of samples at 1 Hz, fed as fast as they go.
void historyMemory();
// Figure 9c: process CPU over TAVREL_BENCH_SECONDS (60) of auto refresh at 1 Hz, plain, with
// the history window open, and with the journal on.
void refreshCpu();
} // namespace RecordsBench

// Filament care at 9600 baud with auto refresh running.
namespace FilamentBench {
// Figure 10a: lateness of the ramp's V commands against the grid of the first one.
void rampGrid();
// Figure 10b: POKE Pressure above the limit on the control link to S<code>OFF at the supply,
// with the line idle and with auto refresh running.
void tripLatency();
} // namespace FilamentBench

// The lab network through a private broker on 127.0.0.1 (tests/BrokerFixture.h).
namespace NetworkBench {
// Figure 12a: the read-back that changes Label_UMon(0) to its item message at a subscriber (p95).
void monitorChangeLatency();
// Figure 12b: the broker stopped and started again on the same port to status online seen.
void brokerRestart();
// Figure 12c: the real program, started as a process of its own, killed (SIGKILL) to its last
// will (offline) seen; false when it could not be measured at all.
bool programKill(const QString &program, int runs);
constexpr int kDefaultKills = 5;
// Figure 12d: a ramp's handshake through the broker against the local socket, a step.
void rampHandshake();
// Figure 12e: process CPU the network adds to auto refresh at 1 Hz, a subscriber connected.
void refreshCpu();
// Figure 12f: 1,000 reading commands from four clients, answered in order for each.
void concurrentReads();
} // namespace NetworkBench

// The I(V) station: the simulated camera (1024 x 1024, Mono16) with the window on the virtual supply.
namespace IvBench {
// Figure 13a: a 200-step measurement: saved images whose energy stamp is not their step's measured energy.
void wrongStepFrames();
// Figure 13b: a step's time beyond settle + N x exposure + the supply's wire time at 9600 baud.
void stepOverhead();
// Figure 13c: peak resident memory during a 500-step measurement less resident memory before it.
void workingMemory();
// Figure 13d: CPU of a step's processing of a 1-megapixel frame, from FrameStack::add to its TIFF.
void processingCpu();
// Figure 13e: spots tracked 50-300 eV against the simulated pattern's fluxes: worst error, spots kept.
void integrationAccuracy();
} // namespace IvBench

// The endurance run: refresh cycles back to back, unpaced, with auto refresh on, while
// control-link clients come and go; resident memory after warm-up and at the end, and every
// message recorded.
namespace EnduranceBench {
struct Options
{
    qint64 moduleReads = 100000;
    int warmUpCycles = 1000;
    int clients = 2;
    int maxSeconds = 1800; // a run that gets this slow ends early and says so
};
// False when the run could not start.
bool run(const Options &options);
} // namespace EnduranceBench
