#include "Figures.h"

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

constexpr int kOverheadCalls = 1000;
constexpr int kWarmUpCalls = 50;
constexpr int kPacedReads = 20;
constexpr double kOverheadTargetUs = 200.0;
constexpr double kSlowCallUs = 1000.0; // a call this slow waited for the scheduler, not the line

const QString kEnergyCode = QStringLiteral("EN");
} // namespace

void LinkBench::transactionOverhead()
{
    const BenchReport::Figure figure{
        QStringLiteral("1"), QStringLiteral("Transaction overhead: SetParameter, unpaced, %1 calls").arg(kOverheadCalls),
        QStringLiteral("mean < %1 us").arg(kOverheadTargetUs)};
    VirtualSupply::Options options;
    options.keepLog = false;
    LinkRig rig(options);
    QString why;
    if (!rig.open(why))
        return figure.failed(why);

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
        us.add(milliseconds(Clock::now() - start) * 1000.0);
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
    figure.result(QStringLiteral("mean %1 us, p99 %2 us")
                      .arg(BenchReport::fixed(us.mean(), 1), BenchReport::fixed(us.percentile(99.0), 1)),
                  failures == 0 && us.mean() < kOverheadTargetUs);
}

void LinkBench::pacedRead()
{
    const BenchReport::Figure figure{
        QStringLiteral("3"),
        QStringLiteral("One read command (R%1) at 9600 baud vs wire time, %2 reads").arg(kEnergyCode).arg(kPacedReads),
        QStringLiteral("within %1 %").arg(WireTime::kTolerancePercent)};
    VirtualSupply::Options options;
    options.baud = WireTime::kBenchBaud;
    LinkRig rig(options);
    SupplyScene::applyTo(rig.supply);
    QString why;
    if (!rig.open(why))
        return figure.failed(why);

    WireTime::Comparison times;
    int failures = 0;
    long long characters = 0;
    for (int i = 0; i < kPacedReads; ++i) {
        rig.supply.clearLog();
        ModuleReading reading;
        const Clock::time_point start = Clock::now();
        const qint32 r = rig.line.read(kEnergyCode, reading);
        const double ms = milliseconds(Clock::now() - start);
        std::this_thread::sleep_for(WireTime::kLogSettle);
        if (r != 0) {
            ++failures;
            continue;
        }
        characters = rig.supply.receivedBytes().size() + rig.supply.sentBytes().size();
        times.add(ms, characters);
    }
    if (times.measuredMs().empty())
        return figure.failed(QStringLiteral("every read failed"));
    BenchReport::detail(QStringLiteral("%1 characters a read (out %2, in %3); deviation min %4 %, max %5 %; "
                                       "%6 failed reads")
                            .arg(characters).arg(rig.supply.receivedBytes().size()).arg(rig.supply.sentBytes().size())
                            .arg(BenchReport::fixed(times.deviation().min(), 2), BenchReport::fixed(times.deviation().max(), 2))
                            .arg(failures));
    figure.result(times.summary(2), failures == 0 && times.withinTolerance());
}
