#include "RampBench.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "CommandClock.h"
#include "ProcessStats.h"
#include "Samples.h"
#include "WireTime.h"

#include "VirtualSupply.h"
#include "app/MainWindow.h"
#include "RecordingUserInterface.h"
#include "core/RuntimeDirectory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

constexpr int kWaitSliceMs = 50;
constexpr int kRampWaitMs = 60000; // a ramp that never starts (a refused RAMP) ends the wait

// The window on the paced virtual supply, its timer stopped: only the ramp talks to the line.
struct RampScene : BenchWindow
{
    RampScene() : BenchWindow(WireTime::kBenchBaud)
    {
        if (window)
            window->timer().stop();
    }
    // Runs a plan to its end; the elapsed milliseconds, or -1 when it did not complete.
    double run(const RampPlan &plan)
    {
        supply->clearLog();
        bool complete = false;
        QEventLoop loop; // sleeps until the ramp ends: the waits are the program's own
        QTimer::singleShot(kRampWaitMs, &loop, &QEventLoop::quit);
        const QMetaObject::Connection done = QObject::connect(&window->ramp(), &EnergyRamp::finished,
                                                              [&complete, &loop](int, bool finished) {
                                                                  complete = finished;
                                                                  loop.quit();
                                                              });
        QElapsedTimer clock;
        clock.start();
        if (!window->ramp().start(plan).isEmpty())
            return -1.0;
        loop.exec();
        const double ms = double(clock.nsecsElapsed()) / 1.0e6;
        QObject::disconnect(done);
        return complete ? ms : -1.0;
    }
    double wireMs() const
    {
        return WireTime::seconds(supply->receivedBytes().size() + supply->sentBytes().size()) * 1000.0;
    }
};

RampPlan plan(double from, double to, int settleMs, int dwellMs, bool handshake = false)
{
    RampPlan p;
    p.from = from;
    p.to = to;
    p.step = 1.0;
    p.settleMs = settleMs;
    p.dwellMs = dwellMs;
    p.handshake = handshake;
    return p;
}

} // namespace

void RampBench::backToBack()
{
    const QString key = QStringLiteral("8a");
    const QString what = QStringLiteral("Ramp of %1 steps, T = 0, D = 0, at 9600 baud vs the wire time of its VEN and REN")
                             .arg(kBackToBackSteps);
    const QString target = QStringLiteral("<= %1 x wire").arg(BenchReport::fixed(kWireTimeFactor, 2));
    RampScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    const double ms = scene.run(plan(100.0, 100.0 + kBackToBackSteps - 1, 0, 0));
    if (ms < 0)
        return BenchReport::failed(key, what, QStringLiteral("the ramp did not complete"), target);
    const double wire = scene.wireMs();
    BenchReport::detail(QStringLiteral("%1 commands on the line, %2 messages")
                            .arg(scene.supply->receivedCommands().size()).arg(scene.ui.messages.size()));
    BenchReport::result(key, what,
                        QStringLiteral("%1 ms vs wire %2 ms (%3 x)")
                            .arg(BenchReport::fixed(ms, 1), BenchReport::fixed(wire, 1), BenchReport::fixed(ms / wire, 3)),
                        target, ms <= kWireTimeFactor * wire);
}

void RampBench::settleOverhead()
{
    const QString key = QStringLiteral("8b");
    const QString what = QStringLiteral("Ramp step with T = %1 ms at 9600 baud: time beyond T plus wire time, %2 steps")
                             .arg(kSettleMs).arg(kSettledSteps);
    const QString target = QStringLiteral("<= %1 ms a step (median)").arg(BenchReport::fixed(kSettleOverheadMs, 1));
    RampScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    Samples beyond;
    QElapsedTimer clock;
    qint64 previous = 0;
    QObject::connect(&scene.window->ramp(), &EnergyRamp::stepDone, [&](const RampStep &step) {
        beyond.add(double(step.ms - previous)); // the step's whole time; wire and T removed below
        previous = step.ms;
    });
    const double ms = scene.run(plan(100.0, 100.0 + kSettledSteps - 1, kSettleMs, 0));
    if (ms < 0)
        return BenchReport::failed(key, what, QStringLiteral("the ramp did not complete"), target);
    const double wirePerStep = scene.wireMs() / kSettledSteps;
    const double median = beyond.median() - kSettleMs - wirePerStep;
    BenchReport::detail(QStringLiteral("step times %1..%2 ms, wire %3 ms a step")
                            .arg(BenchReport::fixed(beyond.min(), 1), BenchReport::fixed(beyond.max(), 1),
                                 BenchReport::fixed(wirePerStep, 1)));
    BenchReport::result(key, what, QStringLiteral("%1 ms").arg(BenchReport::fixed(median, 2)), target,
                        median <= kSettleOverheadMs);
}

void RampBench::handshakeOverhead()
{
    const QString key = QStringLiteral("8c");
    const QString what = QStringLiteral("Handshake: a client that acknowledges at once, against D = 0, %1 steps")
                             .arg(kSettledSteps);
    const QString target = QStringLiteral("<= %1 ms a step").arg(BenchReport::fixed(kHandshakeOverheadMs, 1));
    RampScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    const double plainMs = scene.run(plan(100.0, 100.0 + kSettledSteps - 1, 0, 0));
    QLocalSocket client;
    client.connectToServer(RuntimeDirectory::filePath(QStringLiteral("Control")));
    if (plainMs < 0 || !client.waitForConnected(kWaitSliceMs * 20))
        return BenchReport::failed(key, what, QStringLiteral("no plain ramp or no client"), target);
    QObject::connect(&client, &QLocalSocket::readyRead, [&client] {
        while (client.canReadLine()) {
            const QByteArray line = client.readLine().trimmed();
            if (line.startsWith("STEP "))
                client.write("ACK " + line.split(' ').value(1) + '\n');
        }
    });
    QElapsedTimer clock;
    clock.start();
    client.write(QStringLiteral("RAMP 100 %1 1 0 ACK\n").arg(100 + kSettledSteps - 1).toUtf8());
    // An unfinished ramp (an acknowledgement late or lost) would flatter the figure.
    bool complete = false;
    QEventLoop loop;
    QTimer::singleShot(kRampWaitMs, &loop, &QEventLoop::quit);
    QObject::connect(&scene.window->ramp(), &EnergyRamp::finished, &loop, [&complete, &loop](int, bool finished) {
        complete = finished;
        loop.quit();
    });
    loop.exec();
    const double ackMs = double(clock.nsecsElapsed()) / 1.0e6;
    const double perStep = (ackMs - plainMs) / kSettledSteps;
    BenchReport::detail(QStringLiteral("plain %1 ms, with the handshake %2 ms")
                            .arg(BenchReport::fixed(plainMs, 1), BenchReport::fixed(ackMs, 1)));
    BenchReport::result(key, what, QStringLiteral("%1 ms a step").arg(BenchReport::fixed(perStep, 2)), target,
                        complete && perStep <= kHandshakeOverheadMs);
}

void RampBench::waitingCpu()
{
    const QString key = QStringLiteral("8d");
    const QString what = QStringLiteral("Process CPU while a ramp dwells %1 ms").arg(kDwellMs);
    const QString target = QStringLiteral("< 1 % of one core");
    RampScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    double cpuAtStep = 0.0;
    double cpuUsed = 0.0;
    QObject::connect(&scene.window->ramp(), &EnergyRamp::stepDone, [&](const RampStep &step) {
        if (step.k == 1)
            cpuAtStep = ProcessStats::processCpuSeconds();
        else
            cpuUsed = ProcessStats::processCpuSeconds() - cpuAtStep;
    });
    if (scene.run(plan(100.0, 101.0, 0, kDwellMs)) < 0)
        return BenchReport::failed(key, what, QStringLiteral("the ramp did not complete"), target);
    const double share = 100.0 * cpuUsed / (kDwellMs / 1000.0);
    BenchReport::result(key, what, QStringLiteral("%1 % (%2 s)").arg(BenchReport::fixed(share, 3), BenchReport::fixed(cpuUsed, 4)),
                        target, share < 1.0);
}

void RampBench::monitorAge()
{
    const QString key = QStringLiteral("8e");
    const QString what = QStringLiteral("Ramp of %1 steps, T = %2 ms, D = %3 ms, auto refresh on, 9600 baud: longest time "
                                        "between two complete read-backs")
                             .arg(kMonitorSteps).arg(kSettleMs).arg(kMonitorDwellMs);
    const QString target = QStringLiteral("<= about %1 s").arg(BenchReport::fixed(kMonitorAgeS, 1));
    RampScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    CommandClock clock(*scene.supply);
    clock.start();
    scene.window->state().setAutoRefresh(true);
    scene.window->timer().start();
    const double ms = scene.run(plan(100.0, 100.0 + kMonitorSteps - 1, kSettleMs, kMonitorDwellMs));
    scene.window->timer().stop();
    clock.stop();
    if (ms < 0)
        return BenchReport::failed(key, what, QStringLiteral("the ramp did not complete"), target);
    // The last read of a pass ("RL2") marks every monitor as fresh; the ramp's own REN does not.
    std::vector<CommandClock::Clock::time_point> passes;
    for (const CommandClock::Arrival &arrival : clock.arrivals())
        if (arrival.command == QLatin1String("RL2"))
            passes.push_back(arrival.at);
    double longest = 0.0;
    for (std::size_t i = 1; i < passes.size(); ++i)
        longest = std::max(longest, std::chrono::duration<double>(passes[i] - passes[i - 1]).count());
    BenchReport::detail(QStringLiteral("%1 complete read-backs in %2 s of ramp").arg(passes.size()).arg(BenchReport::fixed(ms / 1000.0, 1)));
    BenchReport::result(key, what, QStringLiteral("%1 s").arg(BenchReport::fixed(longest, 2)), target,
                        passes.size() >= 2 && longest <= kMonitorAgeS + 0.5);
}
