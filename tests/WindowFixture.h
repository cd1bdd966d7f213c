#pragma once

#include "SupplyProbe.h"
#include "TestEnvironment.h"
#include "VirtualSupply.h"

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "panel/ModulePanel.h"
#include "RecordingUserInterface.h"
#include "device/PortTable.h"

#include <QTest>

#include <memory>

// The whole program in-process: a private home, the virtual supply on a real pseudo-terminal
// mapped to COM1, a recording user interface, and the main window loaded with a command line.
// The setup dialog is replaced by a counter unless a test sets its own runner.
class WindowFixture
{
public:
    static constexpr int kStartWaitMs = 10000; // only a hang reaches it

    explicit WindowFixture(VirtualSupply::Options options = {}) : supply(options) {}

    ~WindowFixture()
    {
        window.reset();
        supply.stop();
    }

    // Starts the supply, maps COM1 to it and runs the load sequence. True when connected.
    bool start(const QString &commandLine = QStringLiteral("/COM1"))
    {
        if (!supply.isRunning() && !supply.start())
            return false;
        PortTable::setPath(1, supply.devicePath());
        window = std::make_unique<MainWindow>(ui, CommandLine::parse(commandLine));
        window->setSetupDialogRunner([this] { ++setupDialogsShown; });
        window->load();
        // The connecting read-back, the start-up profile and the first cycle run to their end.
        if (!QTest::qWaitFor([this] { return window->isUnloaded() || window->line().isIdle(); }, kStartWaitMs))
            return false;
        return window->connection().isConnected();
    }

    // Starts as start() does, then stops the timer and clears the supply's log, so that a test
    // sees exactly the traffic of what it does itself.
    bool startQuiet(const QString &commandLine = QStringLiteral("/COM1"))
    {
        if (!start(commandLine))
            return false;
        window->timer().stop();
        supply.clearLog();
        return true;
    }

    // Commands received since the last clearLog, waiting for at least `atLeast` of them and for
    // the job that sent them to end; only a hang reaches the time-out.
    QStringList commands(int atLeast = 0, int timeoutMs = 10000)
    {
        if (atLeast > 0 && QTest::qWaitFor([&] { return supply.receivedCommands().size() >= atLeast; }, timeoutMs))
            waitForLine(window->line(), timeoutMs);
        return supply.receivedCommands();
    }

    // What the window sent since the last clearLog, proven complete (see SupplyProbe.h); the
    // port must be open and the window not in simulation.
    QStringList commandsBeforeProbe(int quietMs = kProbeQuietMs)
    {
        return ::commandsBeforeProbe(window->line(), supply, quietMs);
    }

    TestEnvironment environment;
    VirtualSupply supply;
    RecordingUserInterface ui;
    std::unique_ptr<MainWindow> window;
    int setupDialogsShown = 0;
};

// The window goes once the shut-down's commands are out: true when it has.
inline bool waitForUnload(MainWindow &window, int timeoutMs = 10000)
{
    return QTest::qWaitFor([&window] { return window.isUnloaded() && !window.isVisible(); }, timeoutMs);
}

// The operator closes the window and the shut-down goes ahead: true once the window has gone.
inline bool closeAndWait(MainWindow &window, int timeoutMs = 10000)
{
    window.close();
    return waitForUnload(window, timeoutMs);
}

// The eight read commands of one pass, for model 0 ("CA") or 1 ("FI").
inline QStringList readPass(int model = 0)
{
    return {QStringLiteral("REN"), model == 1 ? QStringLiteral("RFI") : QStringLiteral("RCA"),
            QStringLiteral("RSC"), QStringLiteral("RWE"), QStringLiteral("RAN"), QStringLiteral("RL1"),
            QStringLiteral("RSU"), QStringLiteral("RL2")};
}
