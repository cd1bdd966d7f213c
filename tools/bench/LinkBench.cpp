#include "LinkBench.h"

#include "BenchReport.h"
#include "LinkRig.h"
#include "ProcessStats.h"
#include "Samples.h"
#include "SupplyScene.h"
#include "WireTime.h"

#include "core/Conversions.h"

#include <chrono>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// The supply notes a byte in its log just after handing it over, so the program may already
// have read it; a pause outside the timed part lets the log catch up.
constexpr auto kLogSettle = std::chrono::milliseconds(5);

const QString kEnergyCode = QStringLiteral("EN");
constexpr double kSlowCallUs = 1000.0; // a call this slow waited for the scheduler, not the line
} // namespace

void LinkBench::transactionOverhead()
{
    const QString key = QStringLiteral("1");
    const QString what = QStringLiteral("Transaction overhead: SetParameter, unpaced, %1 calls").arg(kOverheadCalls);
    const QString target = QStringLiteral("mean < %1 us").arg(kOverheadTargetUs);
    VirtualSupply::Options options;
    options.keepLog = false;
    LinkRig rig(options);
    QString why;
    if (!rig.open(why))
        return BenchReport::failed(key, what, why, target);

    // Two set values taken in turn, so that every call changes the model.
    const QString commands[2] = {QStringLiteral("VEN") + StrOf(100.0f), QStringLiteral("VEN") + StrOf(101.0f)};
    for (int i = 0; i < kWarmUpCalls; ++i)
        rig.line.send(commands[i % 2]);

    Samples us;
    int failures = 0;
    const long preemptedBefore = ProcessStats::involuntarySwitches();
    const double cpuBefore = ProcessStats::threadCpuSeconds();
    for (int i = 0; i < kOverheadCalls; ++i) {
        const Clock::time_point start = Clock::now();
        const qint32 r = rig.line.send(commands[i % 2]);
        us.add(microseconds(Clock::now() - start));
        if (r != 0)
            ++failures;
    }
    const double cpuPerCallUs = (ProcessStats::threadCpuSeconds() - cpuBefore) * 1e6 / kOverheadCalls;
    const long preempted = ProcessStats::involuntarySwitches() - preemptedBefore;
    int slow = 0;
    double slowUs = 0.0;
    for (int i = 0; i < us.count(); ++i) {
        if (us.at(i) > kSlowCallUs) {
            ++slow;
            slowUs += us.at(i);
        }
    }
    // When the machine is busy, a thread of either end now and then waits a whole time slice
    // for a core; these calls say so, and how much of the mean they make.
    BenchReport::detail(QStringLiteral("%1 calls over %2 us took %3 % of the time; the process was preempted %4 times; "
                                       "CPU of the calling thread %5 us a call")
                            .arg(slow).arg(kSlowCallUs)
                            .arg(BenchReport::fixed(100.0 * slowUs / (us.mean() * us.count()), 1))
                            .arg(preempted)
                            .arg(BenchReport::fixed(cpuPerCallUs, 1)));
    BenchReport::detail(QStringLiteral("min %1 us, median %2 us, p99 %3 us, max %4 us, %5 failed calls")
                            .arg(BenchReport::fixed(us.min(), 1), BenchReport::fixed(us.median(), 1),
                                 BenchReport::fixed(us.percentile(99.0), 1), BenchReport::fixed(us.max(), 1))
                            .arg(failures));
    BenchReport::result(key, what,
                        QStringLiteral("mean %1 us, p99 %2 us").arg(BenchReport::fixed(us.mean(), 1),
                                                                   BenchReport::fixed(us.percentile(99.0), 1)),
                        target, failures == 0 && us.mean() < kOverheadTargetUs);
}

void LinkBench::waitingCpu()
{
    const QString key = QStringLiteral("2");
    const QString what = QStringLiteral("CPU while waiting: reading thread, %1 reads from a silent supply").arg(kSilentReads);
    const QString target = QStringLiteral("< %1 % of wall time").arg(kWaitingCpuTargetPercent);
    VirtualSupply::Options options;
    options.keepLog = false;
    options.faults.silent = true;
    LinkRig rig(options);
    QString why;
    if (!rig.open(why))
        return BenchReport::failed(key, what, why, target);

    int timedOut = 0;
    const double threadStart = ProcessStats::threadCpuSeconds();
    const double processStart = ProcessStats::processCpuSeconds();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kSilentReads; ++i) {
        ModuleReading reading;
        if (rig.line.read(kEnergyCode, reading) == -1)
            ++timedOut;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double threadCpu = ProcessStats::threadCpuSeconds() - threadStart;
    const double processCpu = ProcessStats::processCpuSeconds() - processStart;
    const double percent = 100.0 * threadCpu / wall;
    BenchReport::detail(QStringLiteral("%1 of %2 reads timed out; wall %3 s; reading thread %4 ms CPU; "
                                       "whole process (with the supply's thread) %5 ms CPU = %6 %")
                            .arg(timedOut).arg(kSilentReads)
                            .arg(BenchReport::fixed(wall, 3), BenchReport::fixed(threadCpu * 1000.0, 3),
                                 BenchReport::fixed(processCpu * 1000.0, 3),
                                 BenchReport::fixed(100.0 * processCpu / wall, 3)));
    BenchReport::result(key, what,
                        QStringLiteral("%1 ms CPU in %2 s = %3 %")
                            .arg(BenchReport::fixed(threadCpu * 1000.0, 2), BenchReport::fixed(wall, 2),
                                 BenchReport::fixed(percent, 3)),
                        target, timedOut == kSilentReads && percent < kWaitingCpuTargetPercent);
}

void LinkBench::pacedRead()
{
    const QString key = QStringLiteral("3");
    const QString what = QStringLiteral("One read command (R%1) at 9600 baud vs wire time, %2 reads")
                             .arg(kEnergyCode).arg(kPacedReads);
    const QString target = QStringLiteral("within %1 %").arg(kWireTimeTolerancePercent);
    VirtualSupply::Options options;
    options.baud = WireTime::kBenchBaud;
    LinkRig rig(options);
    SupplyScene::applyTo(rig.supply);
    QString why;
    if (!rig.open(why))
        return BenchReport::failed(key, what, why, target);

    Samples measuredMs;
    Samples wireMs;
    Samples deviation;
    int failures = 0;
    long long characters = 0;
    for (int i = 0; i < kPacedReads; ++i) {
        rig.supply.clearLog();
        ModuleReading reading;
        const Clock::time_point start = Clock::now();
        const qint32 r = rig.line.read(kEnergyCode, reading);
        const double ms = microseconds(Clock::now() - start) / 1000.0;
        std::this_thread::sleep_for(kLogSettle);
        if (r != 0) {
            ++failures;
            continue;
        }
        characters = rig.supply.receivedBytes().size() + rig.supply.sentBytes().size();
        const double wire = WireTime::seconds(characters) * 1000.0;
        measuredMs.add(ms);
        wireMs.add(wire);
        deviation.add(100.0 * (ms - wire) / wire);
    }
    if (measuredMs.empty())
        return BenchReport::failed(key, what, QStringLiteral("every read failed"), target);
    const double mean = 100.0 * (measuredMs.mean() - wireMs.mean()) / wireMs.mean();
    BenchReport::detail(QStringLiteral("%1 characters a read (out %2, in %3); deviation min %4 %, max %5 %; "
                                       "%6 failed reads")
                            .arg(characters).arg(rig.supply.receivedBytes().size()).arg(rig.supply.sentBytes().size())
                            .arg(BenchReport::fixed(deviation.min(), 2), BenchReport::fixed(deviation.max(), 2))
                            .arg(failures));
    BenchReport::result(key, what,
                        QStringLiteral("%1 ms vs wire %2 ms (%3%4 %)")
                            .arg(BenchReport::fixed(measuredMs.mean(), 2), BenchReport::fixed(wireMs.mean(), 2),
                                 mean >= 0 ? QStringLiteral("+") : QString(), BenchReport::fixed(mean, 2)),
                        target, failures == 0 && std::abs(mean) <= kWireTimeTolerancePercent);
}
