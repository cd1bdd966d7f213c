#include "Figures.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "ProcessStats.h"

#include "history/MonitorHistory.h"
#include "history/MonitorHistoryWindow.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <memory>

namespace {

constexpr int kDaySamples = 24 * 3600;
constexpr double kMaxHistoryMiB = 10.0;
constexpr int kFirstPassesMs = 2000;
constexpr double kMaxAddedCpuPercent = 0.1;
constexpr double kKiBPerMiB = 1024.0;
constexpr qint64 kMsecsPerSecond = 1000;

std::array<ModuleReading, kModuleCount> operatingReadings(int n)
{
    std::array<ModuleReading, kModuleCount> readings{};
    for (int i = 0; i < kModuleCount; ++i) {
        readings[i].Gain = 1.0f + float(i);
        readings[i].Offset = 10.0f * float(i);
        readings[i].value = 100.0f;
        readings[i].Umon = 100.0f + 0.01f * float(n % 97);
        readings[i].Imon = -1.2e-6f * (1.0f + 0.001f * float(n % 13));
        readings[i].OnOff = 1;
    }
    return readings;
}

} // namespace

void RecordsBench::historyMemory()
{
    const BenchReport::Figure figure{
        QStringLiteral("9a"),
        QStringLiteral("Monitor history of 24 h at 1 Hz (%1 samples fed at once): ring and resident growth").arg(kDaySamples),
        QStringLiteral("< %1 MiB").arg(BenchReport::fixed(kMaxHistoryMiB, 0))};
    const qint64 residentBefore = ProcessStats::residentKiB();
    QElapsedTimer clock;
    clock.start();
    auto history = std::make_unique<MonitorHistory>();
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - qint64(kDaySamples) * kMsecsPerSecond;
    for (int n = 0; n < kDaySamples; ++n)
        history->addSample(start + n * kMsecsPerSecond, operatingReadings(n));
    const double feedMs = double(clock.nsecsElapsed()) / 1e6;
    const double ringMiB = double(history->memoryBytes()) / kKiBPerMiB / kKiBPerMiB;
    const double residentMiB = double(ProcessStats::residentKiB() - residentBefore) / kKiBPerMiB;
    BenchReport::detail(QStringLiteral("%1 samples kept, fed in %2 ms (%3 µs a sample)")
                            .arg(history->size())
                            .arg(BenchReport::fixed(feedMs, 1), BenchReport::fixed(feedMs * 1000.0 / kDaySamples, 2)));
    figure.result(QStringLiteral("ring %1 MiB, resident +%2 MiB")
                      .arg(BenchReport::fixed(ringMiB, 2), BenchReport::fixed(residentMiB, 2)),
                  ringMiB < kMaxHistoryMiB && residentMiB < kMaxHistoryMiB);
}

void RecordsBench::refreshCpu()
{
    const int seconds = cpuRunSeconds();
    const BenchReport::Figure figure{
        QStringLiteral("9c"),
        QStringLiteral("Process CPU over %1 s of auto refresh at 1 Hz: added by the open history window / by the journal")
            .arg(seconds),
        QStringLiteral("< %1 % of one core each").arg(BenchReport::fixed(kMaxAddedCpuPercent, 1))};
    // The window on the unpaced supply with auto refresh at 1 Hz, as an operator runs it.
    BenchWindow bench;
    if (!bench.ready())
        return figure.failed(BenchWindow::kNotConnected);
    MainWindow &window = *bench.window;
    window.state().setAutoRefresh(true);
    runEventsFor(kFirstPassesMs);
    const double plain = processCpuOver(seconds);
    MonitorHistoryWindow &history = window.tools().historyWindow();
    history.show();
    const double withWindow = processCpuOver(seconds);
    history.close();
    window.tools().journal().setEnabled(true);
    const double withJournal = processCpuOver(seconds);
    window.tools().journal().setEnabled(false);
    const auto percent = [seconds](double cpu) { return 100.0 * cpu / seconds; };
    const double windowAdded = percent(withWindow - plain);
    const double journalAdded = percent(withJournal - plain);
    BenchReport::detail(QStringLiteral("plain %1 s, history window open %2 s, journal on %3 s CPU")
                            .arg(BenchReport::fixed(plain, 3), BenchReport::fixed(withWindow, 3),
                                 BenchReport::fixed(withJournal, 3)));
    figure.result(QStringLiteral("%1 % / %2 %").arg(BenchReport::fixed(windowAdded, 3), BenchReport::fixed(journalAdded, 3)),
                  windowAdded < kMaxAddedCpuPercent && journalAdded < kMaxAddedCpuPercent);
}
