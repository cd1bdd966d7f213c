#include "WindowBench.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "CommandClock.h"
#include "Samples.h"
#include "SupplyScene.h"
#include "WireTime.h"

#include "VirtualSupply.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "RecordingUserInterface.h"
#include "device/PortTable.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <memory>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

constexpr auto kLogSettle = std::chrono::milliseconds(5);
constexpr int kCommandWaitMs = 10000;
const QString kLastReadOfPass = QStringLiteral("RL2");
const QString kControlVoltageCommand = QStringLiteral("VEN");

// A command's arrival at the supply, while the window's jobs run.
std::optional<std::pair<int, CommandClock::Arrival>> waitWhileRunning(const CommandClock &clock, const QString &prefix,
                                                                      int timeoutMs, int from = 0)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (auto found = clock.find(prefix, from))
            return found;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return clock.find(prefix, from);
}

std::unique_ptr<MainWindow> makeWindow(RecordingUserInterface &ui, int &setupDialogs)
{
    auto window = std::make_unique<MainWindow>(ui, CommandLine::parse(QStringLiteral("/COM1")));
    window->setSetupDialogRunner([&setupDialogs] { ++setupDialogs; });
    return window;
}
} // namespace

void WindowBench::pacedReadBack()
{
    const QString key = QStringLiteral("4");
    const QString what = QStringLiteral("Full read-back of 8 modules (window) at 9600 baud vs wire time, %1 passes")
                             .arg(kPacedReadBacks);
    const QString target = QStringLiteral("within %1 %").arg(kWireTimeTolerancePercent);
    BenchWindow bench(WireTime::kBenchBaud);
    if (!bench.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    VirtualSupply &supply = *bench.supply;
    std::unique_ptr<MainWindow> &window = bench.window;
    RecordingUserInterface &ui = bench.ui;
    window->timer().stop();

    Samples measuredMs;
    Samples wireMs;
    Samples deviation;
    int failures = 0;
    int strayTraffic = 0;
    long long characters = 0;
    for (int pass = 0; pass < kPacedReadBacks; ++pass) {
        supply.clearLog();
        const Clock::time_point start = Clock::now();
        LineTask<qint32> readBack = window->readBack().readAll(false);
        while (!readBack.isDone())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = milliseconds(Clock::now() - start);
        const qint32 r = readBack.result();
        std::this_thread::sleep_for(kLogSettle);
        if (r != 0) {
            ++failures;
            continue;
        }
        if (supply.receivedCommands().size() != 8)
            ++strayTraffic; // something else spoke on the line: the pass is not a pure read-back
        characters = supply.receivedBytes().size() + supply.sentBytes().size();
        const double wire = WireTime::seconds(characters) * 1000.0;
        measuredMs.add(ms);
        wireMs.add(wire);
        deviation.add(100.0 * (ms - wire) / wire);
    }
    // The same eight reads through the protocol alone, without the yields and the panel: what
    // the window's part of a pass costs.
    Samples protocolMs;
    for (int pass = 0; pass < kPacedReadBacks; ++pass) {
        ModuleReading reading;
        const Clock::time_point start = Clock::now();
        for (const QString &code : window->state().table.ModuleCode)
            window->line().read(code, reading);
        protocolMs.add(milliseconds(Clock::now() - start));
        std::this_thread::sleep_for(kLogSettle);
    }
    if (measuredMs.empty())
        return BenchReport::failed(key, what, QStringLiteral("every pass failed"), target);
    BenchReport::detail(QStringLiteral("pass times %1..%2 ms; the same eight reads through the protocol alone: "
                                       "mean %3 ms (%4..%5)")
                            .arg(BenchReport::fixed(measuredMs.min(), 1), BenchReport::fixed(measuredMs.max(), 1),
                                 BenchReport::fixed(protocolMs.mean(), 1), BenchReport::fixed(protocolMs.min(), 1),
                                 BenchReport::fixed(protocolMs.max(), 1)));
    const double mean = 100.0 * (measuredMs.mean() - wireMs.mean()) / wireMs.mean();
    BenchReport::detail(QStringLiteral("%1 characters a pass; deviation min %2 %, max %3 %; %4 failed passes, "
                                       "%5 passes with other traffic; %6 messages")
                            .arg(characters)
                            .arg(BenchReport::fixed(deviation.min(), 2), BenchReport::fixed(deviation.max(), 2))
                            .arg(failures).arg(strayTraffic).arg(ui.messages.size()));
    BenchReport::result(key, what,
                        QStringLiteral("%1 ms vs wire %2 ms (%3%4 %)")
                            .arg(BenchReport::fixed(measuredMs.mean(), 1), BenchReport::fixed(wireMs.mean(), 1),
                                 mean >= 0 ? QStringLiteral("+") : QString(), BenchReport::fixed(mean, 2)),
                        target, failures == 0 && strayTraffic == 0 && std::abs(mean) <= kWireTimeTolerancePercent);
}

void WindowBench::loadToFirstReadBack()
{
    const QString key = QStringLiteral("6b");
    const QString what = QStringLiteral("Start-up in-process: window built + Form_Load to the first read-back shown, "
                                        "unpaced, %1 runs").arg(kStartUps);
    const QString target = QStringLiteral("< %1 ms").arg(kStartUpTargetMs);
    VirtualSupply supply;
    SupplyScene::applyTo(supply);
    if (!supply.start())
        return BenchReport::failed(key, what, supply.errorString(), target);
    PortTable::setPath(1, supply.devicePath());

    Samples lastReadMs;
    Samples shownMs;
    Samples loadMs;
    int failures = 0;
    for (int run = 0; run < kStartUps; ++run) {
        CommandClock clock(supply);
        clock.start();
        RecordingUserInterface ui;
        int setupDialogs = 0;
        const Clock::time_point start = Clock::now();
        auto window = makeWindow(ui, setupDialogs);
        window->load();
        const double load = milliseconds(Clock::now() - start);
        window->timer().stop();
        // The read-back is a job: it goes on only while the event loop runs.
        const auto lastRead = waitWhileRunning(clock, kLastReadOfPass, kCommandWaitMs);
        const auto shown = lastRead ? waitWhileRunning(clock, kControlVoltageCommand, kCommandWaitMs, lastRead->first + 1)
                                    : std::nullopt;
        clock.stop();
        window.reset();
        if (!lastRead || !shown || setupDialogs != 0) {
            ++failures;
            continue;
        }
        lastReadMs.add(milliseconds(lastRead->second.at - start));
        shownMs.add(milliseconds(shown->second.at - start));
        loadMs.add(load);
        BenchReport::detail(QStringLiteral("run %1: last read command of the first pass at %2 ms, panel shown (%3 sent) "
                                           "at %4 ms, Form_Load returned at %5 ms")
                                .arg(run + 1)
                                .arg(BenchReport::fixed(milliseconds(lastRead->second.at - start), 1),
                                     kControlVoltageCommand,
                                     BenchReport::fixed(milliseconds(shown->second.at - start), 1),
                                     BenchReport::fixed(load, 1)));
    }
    supply.stop();
    if (shownMs.empty())
        return BenchReport::failed(key, what, QStringLiteral("no run reached its first read-back"), target);
    BenchReport::result(key, what,
                        QStringLiteral("median %1 ms (min %2, max %3)")
                            .arg(BenchReport::fixed(shownMs.median(), 1), BenchReport::fixed(shownMs.min(), 1),
                                 BenchReport::fixed(shownMs.max(), 1)),
                        target, failures == 0 && shownMs.median() < kStartUpTargetMs);
}

void WindowBench::stallDuringSilentReadBack()
{
    const QString key = QStringLiteral("11");
    const QString what = QStringLiteral("Longest stall of the window's event loop (a %1 ms timer's lateness) while "
                                        "Refresh All reads a silent supply")
                             .arg(kStallTickMs);
    const QString target = QStringLiteral("< %1 ms").arg(kStallTargetMs);
    BenchWindow bench;
    if (!bench.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    VirtualSupply &supply = *bench.supply;
    std::unique_ptr<MainWindow> &window = bench.window;
    window->timer().stop();
    SupplyFaults silent;
    silent.silent = true;
    supply.setFaults(silent);
    supply.clearLog();

    QElapsedTimer clock;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    qint64 last = -1;
    qint64 longestGap = 0;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            longestGap = std::max(longestGap, now - last);
        last = now;
    });
    QEventLoop loop;
    clock.start();
    ticks.start(kStallTickMs);
    QTimer::singleShot(5 * kStallTickMs, window.get(), [&window] { window->refreshAll(); });
    QTimer::singleShot(kStallWatchMs, &loop, &QEventLoop::quit);
    loop.exec();
    ticks.stop();
    const QStringList commands = supply.receivedCommands();
    const double stallMs = double(longestGap) / 1.0e6 - kStallTickMs;
    BenchReport::detail(QStringLiteral("longest gap between ticks %1 ms; commands sent %2")
                            .arg(BenchReport::fixed(double(longestGap) / 1.0e6, 1), commands.join(QLatin1Char(' '))));
    BenchReport::result(key, what, QStringLiteral("%1 ms").arg(BenchReport::fixed(stallMs, 1)), target,
                        !commands.isEmpty() && stallMs < kStallTargetMs);
}
