#include "Figures.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "CommandClock.h"
#include "Samples.h"
#include "WireTime.h"

#include <QElapsedTimer>
#include <QLocalSocket>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kBackToBackSteps = 101;
constexpr int kSettledSteps = 21;
constexpr int kSettleMs = 100;
constexpr double kWireTimeFactor = 1.03;
constexpr double kSettleOverheadMs = 2.0;
constexpr double kHandshakeOverheadMs = 1.0;
constexpr int kMonitorDwellMs = 1000;
constexpr int kMonitorSteps = 8;
constexpr double kMonitorAgeS = 2.0;
constexpr int kConnectWaitMs = 1000;

// The window on the paced virtual supply, its timer stopped: only the ramp talks to the line.
struct RampScene : BenchWindow
{
    RampScene() : BenchWindow(WireTime::kBenchBaud)
    {
        if (window)
            window->timer().stop();
    }
    bool waitForEnd() { return waitForRampEnd(window->ramp()); }
    // Runs a plan to its end; the elapsed milliseconds, or -1 when it did not complete.
    double run(double from, double to, int settleMs, int dwellMs)
    {
        RampPlan plan;
        plan.from = from;
        plan.to = to;
        plan.settleMs = settleMs;
        plan.dwellMs = dwellMs;
        supply->clearLog();
        QElapsedTimer clock;
        clock.start();
        if (!window->ramp().start(plan).isEmpty() || !waitForEnd())
            return -1.0;
        return double(clock.nsecsElapsed()) / 1.0e6;
    }
    double wireMs() const
    {
        return WireTime::seconds(supply->receivedBytes().size() + supply->sentBytes().size()) * 1000.0;
    }
};

const QString kIncomplete = QStringLiteral("the ramp did not complete");

} // namespace

void RampBench::backToBack()
{
    const BenchReport::Figure figure{
        QStringLiteral("8a"),
        QStringLiteral("Ramp of %1 steps, T = 0, D = 0, at 9600 baud vs the wire time of its VEN and REN").arg(kBackToBackSteps),
        QStringLiteral("<= %1 x wire").arg(BenchReport::fixed(kWireTimeFactor, 2))};
    RampScene scene;
    if (!scene.ready())
        return figure.failed(BenchWindow::kNotConnected);
    const double ms = scene.run(100.0, 100.0 + kBackToBackSteps - 1, 0, 0);
    if (ms < 0)
        return figure.failed(kIncomplete);
    const double wire = scene.wireMs();
    BenchReport::detail(QStringLiteral("%1 commands on the line, %2 messages")
                            .arg(scene.supply->receivedCommands().size()).arg(scene.ui.messages.size()));
    figure.result(QStringLiteral("%1 ms vs wire %2 ms (%3 x)")
                      .arg(BenchReport::fixed(ms, 1), BenchReport::fixed(wire, 1), BenchReport::fixed(ms / wire, 3)),
                  ms <= kWireTimeFactor * wire);
}

void RampBench::settleOverhead()
{
    const BenchReport::Figure figure{
        QStringLiteral("8b"),
        QStringLiteral("Ramp step with T = %1 ms at 9600 baud: time beyond T plus wire time, %2 steps")
            .arg(kSettleMs).arg(kSettledSteps),
        QStringLiteral("<= %1 ms a step (median)").arg(BenchReport::fixed(kSettleOverheadMs, 1))};
    RampScene scene;
    if (!scene.ready())
        return figure.failed(BenchWindow::kNotConnected);
    Samples stepMs;
    qint64 previous = 0;
    QObject::connect(&scene.window->ramp(), &EnergyRamp::stepDone, [&](const RampStep &step) {
        stepMs.add(double(step.ms - previous)); // the step's whole time; wire and T removed below
        previous = step.ms;
    });
    if (scene.run(100.0, 100.0 + kSettledSteps - 1, kSettleMs, 0) < 0)
        return figure.failed(kIncomplete);
    const double wirePerStep = scene.wireMs() / kSettledSteps;
    const double median = stepMs.median() - kSettleMs - wirePerStep;
    BenchReport::detail(QStringLiteral("step times %1..%2 ms, wire %3 ms a step")
                            .arg(BenchReport::fixed(stepMs.min(), 1), BenchReport::fixed(stepMs.max(), 1),
                                 BenchReport::fixed(wirePerStep, 1)));
    figure.result(QStringLiteral("%1 ms").arg(BenchReport::fixed(median, 2)), median <= kSettleOverheadMs);
}

void RampBench::handshakeOverhead()
{
    const BenchReport::Figure figure{
        QStringLiteral("8c"),
        QStringLiteral("Handshake: a client that acknowledges at once, against D = 0, %1 steps").arg(kSettledSteps),
        QStringLiteral("<= %1 ms a step").arg(BenchReport::fixed(kHandshakeOverheadMs, 1))};
    RampScene scene;
    if (!scene.ready())
        return figure.failed(BenchWindow::kNotConnected);
    const double plainMs = scene.run(100.0, 100.0 + kSettledSteps - 1, 0, 0);
    QLocalSocket client;
    client.connectToServer(scene.window->controlLinkServer().socketPath());
    if (plainMs < 0 || !client.waitForConnected(kConnectWaitMs))
        return figure.failed(QStringLiteral("no plain ramp or no client"));
    acknowledgeSteps(client);
    QElapsedTimer clock;
    clock.start();
    client.write(QStringLiteral("RAMP 100 %1 1 0 ACK\n").arg(100 + kSettledSteps - 1).toUtf8());
    // An unfinished ramp (an acknowledgement late or lost) would flatter the figure.
    if (!scene.waitForEnd())
        return figure.failed(kIncomplete);
    const double ackMs = double(clock.nsecsElapsed()) / 1.0e6;
    const double perStep = (ackMs - plainMs) / kSettledSteps;
    BenchReport::detail(QStringLiteral("plain %1 ms, with the handshake %2 ms")
                            .arg(BenchReport::fixed(plainMs, 1), BenchReport::fixed(ackMs, 1)));
    figure.result(QStringLiteral("%1 ms a step").arg(BenchReport::fixed(perStep, 2)), perStep <= kHandshakeOverheadMs);
}

void RampBench::monitorAge()
{
    const BenchReport::Figure figure{
        QStringLiteral("8e"),
        QStringLiteral("Ramp of %1 steps, T = %2 ms, D = %3 ms, auto refresh on, 9600 baud: longest time between two "
                       "complete read-backs")
            .arg(kMonitorSteps).arg(kSettleMs).arg(kMonitorDwellMs),
        QStringLiteral("<= about %1 s").arg(BenchReport::fixed(kMonitorAgeS, 1))};
    RampScene scene;
    if (!scene.ready())
        return figure.failed(BenchWindow::kNotConnected);
    CommandClock clock(*scene.supply);
    clock.start();
    scene.window->state().setAutoRefresh(true);
    scene.window->timer().start();
    const double ms = scene.run(100.0, 100.0 + kMonitorSteps - 1, kSettleMs, kMonitorDwellMs);
    scene.window->timer().stop();
    clock.stop();
    if (ms < 0)
        return figure.failed(kIncomplete);
    // The last read of a pass marks every monitor as fresh; the ramp's own REN does not.
    std::vector<CommandClock::Clock::time_point> passes;
    for (const CommandClock::Arrival &arrival : clock.arrivals())
        if (arrival.command == CommandClock::kLastReadOfPass)
            passes.push_back(arrival.at);
    double longest = 0.0;
    for (std::size_t i = 1; i < passes.size(); ++i)
        longest = std::max(longest, std::chrono::duration<double>(passes[i] - passes[i - 1]).count());
    BenchReport::detail(QStringLiteral("%1 complete read-backs in %2 s of ramp").arg(passes.size()).arg(BenchReport::fixed(ms / 1000.0, 1)));
    figure.result(QStringLiteral("%1 s").arg(BenchReport::fixed(longest, 2)),
                  passes.size() >= 2 && longest <= kMonitorAgeS + 0.5);
}
