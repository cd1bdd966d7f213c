#pragma once

#include "VirtualSupply.h"
#include "app/MainWindow.h"
#include "RecordingUserInterface.h"

#include <functional>
#include <memory>

class QLocalSocket;

// The real window in-process on the virtual supply in working order (SupplyScene), COM1 mapped
// to it and the load sequence run to the end of its connecting read-back.
struct BenchWindow
{
    // `baud` 0 leaves the supply unpaced.
    explicit BenchWindow(int baud = 0);
    explicit BenchWindow(const VirtualSupply::Options &options);
    ~BenchWindow();
    BenchWindow(const BenchWindow &) = delete;
    BenchWindow &operator=(const BenchWindow &) = delete;

    bool ready() const { return window && window->connection().isConnected(); }
    static inline const QString kNotConnected = QStringLiteral("the window did not connect");

    RecordingUserInterface ui;
    std::unique_ptr<VirtualSupply> supply;
    std::unique_ptr<MainWindow> window;
    int setupDialogs = 0; // the load sequence asked for the setup dialog
};

// Runs the event loop for `ms` without polling: the CPU figures count every wake-up.
void runEventsFor(int ms);
// Runs the event loop until `done` (asked every millisecond) or `timeoutMs` passed; `done` at the end.
bool runEventsUntil(const std::function<bool()> &done, int timeoutMs);
// Runs the event loop until the ramp ends; true when it ran to its last step in time. The wait
// sleeps: the ramp's own waits are all there is.
bool waitForRampEnd(EnergyRamp &ramp);
// A control-link client that acknowledges every STEP line at once.
void acknowledgeSteps(QLocalSocket &client);

// The length of a CPU figure's runs: TAVREL_BENCH_SECONDS, 60 unless set.
int cpuRunSeconds();
// Process CPU seconds over `seconds` of the event loop.
double processCpuOver(int seconds);
