#pragma once

#include "VirtualSupply.h"
#include "app/MainWindow.h"
#include "RecordingUserInterface.h"

#include <memory>

// The real window in-process on the virtual supply in working order (SupplyScene), COM1 mapped
// to it and the load sequence run; `baud` 0 leaves the supply unpaced.
struct BenchWindow
{
    explicit BenchWindow(int baud = 0);
    ~BenchWindow();
    BenchWindow(const BenchWindow &) = delete;
    BenchWindow &operator=(const BenchWindow &) = delete;

    bool ready() const { return window && window->connection().isConnected(); }

    RecordingUserInterface ui;
    std::unique_ptr<VirtualSupply> supply;
    std::unique_ptr<MainWindow> window;
};
