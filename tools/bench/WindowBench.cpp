#include "Figures.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "CommandClock.h"
#include "Samples.h"
#include "SupplyScene.h"
#include "WireTime.h"

#include "core/ModuleTable.h"
#include "core/SettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <chrono>
#include <thread>

namespace {
using Clock = CommandClock::Clock;

constexpr int kPacedReadBacks = 5;
constexpr double kStallTargetMs = 5.0;
constexpr int kStallTickMs = 10;
constexpr int kStallWatchMs = 3000; // the read ends at its first time-out (1 s)
constexpr double kStartUpTargetMs = 300.0;
constexpr int kFirstPassWaitMs = 10000;
constexpr int kEndWaitMs = 5000;

const QString kControlVoltageCommand = QStringLiteral("VEN");
} // namespace

void WindowBench::pacedReadBack()
{
    const BenchReport::Figure figure{
        QStringLiteral("4"),
        QStringLiteral("Full read-back of 8 modules (window) at 9600 baud vs wire time, %1 passes").arg(kPacedReadBacks),
        QStringLiteral("within %1 %").arg(WireTime::kTolerancePercent)};
    BenchWindow bench(WireTime::kBenchBaud);
    if (!bench.ready())
        return figure.failed(BenchWindow::kNotConnected);
    VirtualSupply &supply = *bench.supply;
    MainWindow &window = *bench.window;
    window.timer().stop();

    WireTime::Comparison times;
    int failures = 0;
    int strayTraffic = 0;
    long long characters = 0;
    for (int pass = 0; pass < kPacedReadBacks; ++pass) {
        supply.clearLog();
        const Clock::time_point start = Clock::now();
        LineTask<qint32> readBack = window.readBack().readAll(false);
        while (!readBack.isDone())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = milliseconds(Clock::now() - start);
        const qint32 r = readBack.result();
        std::this_thread::sleep_for(WireTime::kLogSettle);
        if (r != 0) {
            ++failures;
            continue;
        }
        if (supply.receivedCommands().size() != kModuleCount)
            ++strayTraffic; // something else spoke on the line: the pass is not a pure read-back
        characters = supply.receivedBytes().size() + supply.sentBytes().size();
        times.add(ms, characters);
    }
    // The same eight reads through the protocol alone, without the yields and the panel: what
    // the window's part of a pass costs.
    Samples protocolMs;
    for (int pass = 0; pass < kPacedReadBacks; ++pass) {
        ModuleReading reading;
        const Clock::time_point start = Clock::now();
        for (const QString &code : window.state().table.ModuleCode)
            window.line().read(code, reading);
        protocolMs.add(milliseconds(Clock::now() - start));
        std::this_thread::sleep_for(WireTime::kLogSettle);
    }
    const Samples &measuredMs = times.measuredMs();
    if (measuredMs.empty())
        return figure.failed(QStringLiteral("every pass failed"));
    BenchReport::detail(QStringLiteral("pass times %1..%2 ms; the same eight reads through the protocol alone: "
                                       "mean %3 ms (%4..%5)")
                            .arg(BenchReport::fixed(measuredMs.min(), 1), BenchReport::fixed(measuredMs.max(), 1),
                                 BenchReport::fixed(protocolMs.mean(), 1), BenchReport::fixed(protocolMs.min(), 1),
                                 BenchReport::fixed(protocolMs.max(), 1)));
    BenchReport::detail(QStringLiteral("%1 characters a pass; deviation min %2 %, max %3 %; %4 failed passes, "
                                       "%5 passes with other traffic; %6 messages")
                            .arg(characters)
                            .arg(BenchReport::fixed(times.deviation().min(), 2), BenchReport::fixed(times.deviation().max(), 2))
                            .arg(failures).arg(strayTraffic).arg(bench.ui.messages.size()));
    figure.result(times.summary(1), failures == 0 && strayTraffic == 0 && times.withinTolerance());
}

void WindowBench::stallDuringSilentReadBack()
{
    const BenchReport::Figure figure{
        QStringLiteral("11"),
        QStringLiteral("Longest stall of the window's event loop (a %1 ms timer's lateness) while Refresh All reads a "
                       "silent supply")
            .arg(kStallTickMs),
        QStringLiteral("< %1 ms").arg(kStallTargetMs)};
    BenchWindow bench;
    if (!bench.ready())
        return figure.failed(BenchWindow::kNotConnected);
    VirtualSupply &supply = *bench.supply;
    MainWindow &window = *bench.window;
    window.timer().stop();
    SupplyFaults silent;
    silent.silent = true;
    supply.setFaults(silent);
    supply.clearLog();

    QElapsedTimer clock;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    qint64 last = -1;
    qint64 longestGap = 0;
    QObject::connect(&ticks, &QTimer::timeout, &ticks, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            longestGap = std::max(longestGap, now - last);
        last = now;
    });
    clock.start();
    ticks.start(kStallTickMs);
    QTimer::singleShot(5 * kStallTickMs, &window, &MainWindow::refreshAll);
    runEventsFor(kStallWatchMs);
    ticks.stop();
    const QStringList commands = supply.receivedCommands();
    const double stallMs = double(longestGap) / 1.0e6 - kStallTickMs;
    BenchReport::detail(QStringLiteral("longest gap between ticks %1 ms; commands sent %2")
                            .arg(BenchReport::fixed(double(longestGap) / 1.0e6, 1), commands.join(QLatin1Char(' '))));
    figure.result(QStringLiteral("%1 ms").arg(BenchReport::fixed(stallMs, 1)),
                  !commands.isEmpty() && stallMs < kStallTargetMs);
}

// The real program's traffic shows its first complete read-back: the last read command of
// the first pass ("RL2"), then the control-voltage command ("VEN...") that showing that pass
// on the panel sends at once. Each run is a fresh process; the first meets cold caches.
bool WindowBench::programStartUp(const QString &program, int runs)
{
    const BenchReport::Figure figure{
        QStringLiteral("6"),
        QStringLiteral("Start-up of the tavrel process to its first read-back shown, unpaced, %1 runs").arg(runs),
        QStringLiteral("< %1 ms").arg(kStartUpTargetMs)};
    VirtualSupply supply;
    if (!SupplyScene::startAsCom1(supply)) {
        figure.failed(supply.errorString());
        return false;
    }
    SettingsStore::sync(); // the program reads COM1's mapping from the settings file

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    Samples shownMs;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        CommandClock clock(supply);
        clock.start();
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const Clock::time_point start = Clock::now();
        process.start(program, {QStringLiteral("/COM1")});
        if (!process.waitForStarted()) {
            figure.failed(program + QStringLiteral(": ") + process.errorString());
            return false;
        }
        const auto lastRead = clock.waitFor(CommandClock::kLastReadOfPass, kFirstPassWaitMs);
        const auto shown = lastRead ? clock.waitFor(kControlVoltageCommand, kFirstPassWaitMs, lastRead->first + 1)
                                    : std::nullopt;
        clock.stop();
        process.terminate();
        if (!process.waitForFinished(kEndWaitMs)) {
            process.kill();
            process.waitForFinished(kEndWaitMs);
        }
        if (!shown) {
            ++failures;
            BenchReport::detail(QStringLiteral("run %1: no first read-back within %2 ms (%3 commands seen)")
                                    .arg(i + 1).arg(kFirstPassWaitMs).arg(clock.arrivals().size()));
            continue;
        }
        shownMs.add(milliseconds(shown->second.at - start));
        BenchReport::detail(QStringLiteral("run %1: last read command of the first pass at %2 ms, panel shown (%3 sent) at %4 ms")
                                .arg(i + 1)
                                .arg(BenchReport::fixed(milliseconds(lastRead->second.at - start), 1),
                                     kControlVoltageCommand, BenchReport::fixed(milliseconds(shown->second.at - start), 1)));
    }
    supply.stop();
    if (shownMs.empty()) {
        figure.failed(QStringLiteral("no run reached its first read-back"));
        return false;
    }
    figure.result(QStringLiteral("median %1 ms (min %2, max %3)")
                      .arg(BenchReport::fixed(shownMs.median(), 1), BenchReport::fixed(shownMs.min(), 1),
                           BenchReport::fixed(shownMs.max(), 1)),
                  failures == 0 && shownMs.median() < kStartUpTargetMs);
    return true;
}
