#include "StartupProbe.h"

#include "BenchReport.h"
#include "CommandClock.h"
#include "Samples.h"
#include "SupplyScene.h"

#include "VirtualSupply.h"
#include "core/SettingsStore.h"
#include "device/PortTable.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {
using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

constexpr int kFirstPassWaitMs = 10000;
constexpr int kEndWaitMs = 5000;
const QString kLastReadOfPass = QStringLiteral("RL2");
const QString kControlVoltageCommand = QStringLiteral("VEN");
} // namespace

bool StartupProbe::run(int runs)
{
    const QString key = QStringLiteral("6");
    const QString what = QStringLiteral("Start-up of the tavrel process to its first read-back shown, unpaced, %1 runs")
                             .arg(runs);
    const QString target = QStringLiteral("< %1 ms").arg(kTargetMs);
    VirtualSupply supply;
    SupplyScene::applyTo(supply);
    if (!supply.start()) {
        BenchReport::failed(key, what, supply.errorString(), target);
        return false;
    }
    PortTable::setPath(1, supply.devicePath());
    SettingsStore::sync();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    Samples shownMs;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        CommandClock clock(supply);
        clock.start();
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const Clock::time_point start = Clock::now();
        program.start(m_program, {QStringLiteral("/COM1")});
        if (!program.waitForStarted()) {
            BenchReport::failed(key, what, m_program + QStringLiteral(": ") + program.errorString(), target);
            return false;
        }
        const auto lastRead = clock.waitFor(kLastReadOfPass, kFirstPassWaitMs);
        const auto shown = lastRead ? clock.waitFor(kControlVoltageCommand, kFirstPassWaitMs, lastRead->first + 1)
                                    : std::nullopt;
        clock.stop();
        program.terminate();
        if (!program.waitForFinished(kEndWaitMs)) {
            program.kill();
            program.waitForFinished(kEndWaitMs);
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
                                     kControlVoltageCommand,
                                     BenchReport::fixed(milliseconds(shown->second.at - start), 1)));
    }
    supply.stop();
    if (shownMs.empty()) {
        BenchReport::failed(key, what, QStringLiteral("no run reached its first read-back"), target);
        return false;
    }
    BenchReport::result(key, what,
                        QStringLiteral("median %1 ms (min %2, max %3)")
                            .arg(BenchReport::fixed(shownMs.median(), 1), BenchReport::fixed(shownMs.min(), 1),
                                 BenchReport::fixed(shownMs.max(), 1)),
                        target, failures == 0 && shownMs.median() < kTargetMs);
    return true;
}
