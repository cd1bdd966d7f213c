#include "RecordsBench.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "ProcessStats.h"

#include "VirtualSupply.h"
#include "app/MainWindow.h"
#include "RecordingUserInterface.h"
#include "history/MonitorHistoryWindow.h"
#include "history/MonitorHistory.h"
#include "journal/Journal.h"
#include "journal/JournalRecorder.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace {

constexpr double kKiBPerMiB = 1024.0;
constexpr qint64 kMsecsPerSecond = 1000;
constexpr int kWriteWaitMs = 60000;

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

int cpuSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("TAVREL_BENCH_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : RecordsBench::kDefaultCpuSeconds;
}

// The window on the unpaced virtual supply with auto refresh at 1 Hz, as an operator runs it.
struct RefreshScene : BenchWindow
{
    RefreshScene()
    {
        if (window)
            window->state().setAutoRefresh(true);
    }

    // Process CPU seconds over `seconds` of the running program.
    double cpuOver(int seconds)
    {
        QEventLoop loop;
        QTimer::singleShot(seconds * kMsecsPerSecond, &loop, &QEventLoop::quit);
        const double before = ProcessStats::processCpuSeconds();
        loop.exec();
        return ProcessStats::processCpuSeconds() - before;
    }
};

} // namespace

void RecordsBench::historyMemory()
{
    const QString key = QStringLiteral("9a");
    const QString what = QStringLiteral("Monitor history of 24 h at 1 Hz (%1 samples fed at once): ring and resident growth")
                             .arg(kDaySamples);
    const QString target = QStringLiteral("< %1 MiB").arg(BenchReport::fixed(kMaxHistoryMiB, 0));
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
    BenchReport::result(key, what,
                        QStringLiteral("ring %1 MiB, resident +%2 MiB")
                            .arg(BenchReport::fixed(ringMiB, 2), BenchReport::fixed(residentMiB, 2)),
                        target, ringMiB < kMaxHistoryMiB && residentMiB < kMaxHistoryMiB);
}

void RecordsBench::journalLineCost()
{
    const QString key = QStringLiteral("9b");
    const QString what = QStringLiteral("Journal line of a full read-back, %1 lines: window thread / until on disk")
                             .arg(kJournalLines);
    const QString target = QStringLiteral("for information");
    Journal journal;
    journal.setEnabled(true);
    JournalRecorder recorder(journal);
    const std::array<QString, kModuleCount> codes = {QStringLiteral("EN"), QStringLiteral("CA"), QStringLiteral("SC"),
                                                     QStringLiteral("WE"), QStringLiteral("AN"), QStringLiteral("L1"),
                                                     QStringLiteral("SU"), QStringLiteral("L2")};
    QElapsedTimer clock;
    clock.start();
    const double threadBefore = ProcessStats::threadCpuSeconds();
    for (int n = 0; n < kJournalLines; ++n)
        recorder.readBack(operatingReadings(n), codes);
    const double threadUs = (ProcessStats::threadCpuSeconds() - threadBefore) * 1e6 / kJournalLines;
    const bool written = journal.waitWritten(kWriteWaitMs);
    const double totalUs = double(clock.nsecsElapsed()) / 1e3 / kJournalLines;
    const bool failed = !journal.isEnabled();
    BenchReport::detail(QStringLiteral("journal file %1").arg(journal.currentPath()));
    BenchReport::result(key, what,
                        QStringLiteral("%1 µs CPU / %2 µs").arg(BenchReport::fixed(threadUs, 2), BenchReport::fixed(totalUs, 2)),
                        target, written && !failed);
}

void RecordsBench::refreshCpu()
{
    const QString key = QStringLiteral("9c");
    const int seconds = cpuSeconds();
    const QString what = QStringLiteral("Process CPU over %1 s of auto refresh at 1 Hz: added by the open history window "
                                        "/ by the journal")
                             .arg(seconds);
    const QString target = QStringLiteral("< %1 % of one core each").arg(BenchReport::fixed(kMaxAddedCpuPercent, 1));
    RefreshScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    scene.cpuOver(2); // past the first passes
    const double plain = scene.cpuOver(seconds);
    MonitorHistoryWindow &history = scene.window->tools().historyWindow();
    history.show();
    const double withWindow = scene.cpuOver(seconds);
    history.close();
    scene.window->tools().journal().setEnabled(true);
    const double withJournal = scene.cpuOver(seconds);
    scene.window->tools().journal().setEnabled(false);
    const auto percent = [seconds](double cpu) { return 100.0 * cpu / seconds; };
    const double windowAdded = percent(withWindow - plain);
    const double journalAdded = percent(withJournal - plain);
    BenchReport::detail(QStringLiteral("plain %1 s, history window open %2 s, journal on %3 s CPU")
                            .arg(BenchReport::fixed(plain, 3), BenchReport::fixed(withWindow, 3),
                                 BenchReport::fixed(withJournal, 3)));
    BenchReport::result(key, what,
                        QStringLiteral("%1 % / %2 %").arg(BenchReport::fixed(windowAdded, 3), BenchReport::fixed(journalAdded, 3)),
                        target, windowAdded < kMaxAddedCpuPercent && journalAdded < kMaxAddedCpuPercent);
}
