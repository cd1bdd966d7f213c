#include "EnduranceDriver.h"

#include "BenchReport.h"
#include "ControlLinkChurn.h"
#include "ProcessStats.h"
#include "SupplyScene.h"

#include "VirtualSupply.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "RecordingUserInterface.h"
#include "device/PortTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>

#include <memory>
#include <vector>

namespace {
constexpr float kMonitorNoise = 0.001f;   // the monitors change on every read, so clients get notes
constexpr int kModulesAPass = 8;
constexpr int kShownMessages = 5;
constexpr int kStopSliceMs = 10;

QString mebibytes(qint64 kib)
{
    return BenchReport::fixed(double(kib) / 1024.0, 2) + QStringLiteral(" MiB");
}
} // namespace

bool EnduranceDriver::run()
{
    const QString key = QStringLiteral("E");
    const QString what = QStringLiteral("Endurance: refresh cycles back to back, unpaced, %1 module reads, %2 control-link clients")
                             .arg(m_options.moduleReads).arg(m_options.clients);
    const QString target = QStringLiteral("VmRSS growth <= 2 MiB, no messages");

    VirtualSupply::Options supplyOptions;
    supplyOptions.keepLog = false; // the log would grow for ever and count as our memory
    supplyOptions.monitorNoise = kMonitorNoise;
    VirtualSupply supply(supplyOptions);
    SupplyScene::applyTo(supply);
    if (!supply.start()) {
        BenchReport::failed(key, what, supply.errorString(), target);
        return false;
    }
    PortTable::setPath(1, supply.devicePath());

    RecordingUserInterface ui;
    int setupDialogs = 0;
    MainWindow window(ui, CommandLine::parse(QStringLiteral("/COM1")));
    window.setSetupDialogRunner([&setupDialogs] { ++setupDialogs; });
    window.load();
    window.timer().stop(); // the cycles run back to back instead of once a second
    if (!window.connection().isConnected()) {
        BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
        return false;
    }
    window.state().setAutoRefresh(true);

    int timeouts = 0;
    int portLosses = 0;
    QObject::connect(&window.line(), &SupplyLine::replyTimedOut, [&timeouts] { ++timeouts; });
    QObject::connect(&window.line(), &SupplyLine::portLost, [&portLosses] { ++portLosses; });
    int autoRefreshRestarts = 0;
    auto cycle = [&] {
        window.refreshCycle().runCycle();
        // The clients are answered while the cycle's exchanges are out.
        while (!window.line().isIdle())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!window.state().autoRefresh()) {
            ++autoRefreshRestarts; // a time-out switched it off; keep the run going
            window.state().setAutoRefresh(true);
        }
    };

    std::vector<std::unique_ptr<ControlLinkChurn>> clients;
    for (int i = 0; i < m_options.clients; ++i) {
        clients.push_back(std::make_unique<ControlLinkChurn>(window.controlLinkServer().socketPath()));
        clients.back()->start();
    }

    for (int i = 0; i < m_options.warmUpCycles; ++i)
        cycle();
    const qint64 startKiB = ProcessStats::residentKiB();
    BenchReport::detail(QStringLiteral("after %1 warm-up cycles: VmRSS %2").arg(m_options.warmUpCycles).arg(mebibytes(startKiB)));

    const qint64 cycles = (m_options.moduleReads + kModulesAPass - 1) / kModulesAPass;
    const qint64 sampleEvery = std::max<qint64>(1, cycles / kSamples);
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = ProcessStats::processCpuSeconds();
    qint64 done = 0;
    bool cutShort = false;
    for (; done < cycles; ++done) {
        cycle();
        if ((done + 1) % sampleEvery == 0)
            BenchReport::detail(QStringLiteral("%1 cycles, %2 s: VmRSS %3")
                                    .arg(done + 1)
                                    .arg(BenchReport::fixed(double(clock.elapsed()) / 1000.0, 1),
                                         mebibytes(ProcessStats::residentKiB())));
        if (clock.elapsed() > qint64(m_options.maxSeconds) * 1000) {
            cutShort = true;
            ++done;
            break;
        }
    }
    const double seconds = double(clock.elapsed()) / 1000.0;
    const double cpu = ProcessStats::processCpuSeconds() - cpuStart;
    const qint64 endKiB = ProcessStats::residentKiB();
    // Answers come from this thread's event loop: keep it running until every client is done.
    for (auto &client : clients)
        client->requestStop();
    for (;;) {
        bool allDone = true;
        for (auto &client : clients)
            allDone = allDone && client->finished();
        if (allDone)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, kStopSliceMs);
    }
    for (auto &client : clients)
        client->stop();

    ControlLinkChurn::Counts churn;
    for (auto &client : clients) {
        const ControlLinkChurn::Counts c = client->counts();
        churn.conversations += c.conversations;
        churn.connectFailures += c.connectFailures;
        churn.answers += c.answers;
        churn.changedNotes += c.changedNotes;
        churn.unexpected += c.unexpected;
        churn.firstUnexpected += c.firstUnexpected;
    }
    const qint64 reads = done * kModulesAPass;
    BenchReport::detail(QStringLiteral("%1 cycles (%2 module reads) in %3 s = %4 reads/s; process CPU %5 s; "
                                       "%6 time-outs, %7 port losses, %8 auto refresh restarts, %9 setup dialogs")
                            .arg(done).arg(reads)
                            .arg(BenchReport::fixed(seconds, 1), BenchReport::fixed(double(reads) / seconds, 0),
                                 BenchReport::fixed(cpu, 1))
                            .arg(timeouts).arg(portLosses).arg(autoRefreshRestarts).arg(setupDialogs));
    BenchReport::detail(QStringLiteral("control link: %1 conversations, %2 answers, %3 change notes, %4 failed connects, "
                                       "%5 unexpected answers")
                            .arg(churn.conversations).arg(churn.answers).arg(churn.changedNotes)
                            .arg(churn.connectFailures).arg(churn.unexpected));
    for (const QString &line : std::as_const(churn.firstUnexpected))
        BenchReport::detail(QStringLiteral("  unexpected: ") + line);

    QMap<QString, int> distinct;
    for (const RecordingUserInterface::Message &message : std::as_const(ui.messages))
        ++distinct[message.title + QStringLiteral(": ") + QString(message.text).replace(QLatin1Char('\r'), QLatin1Char(' '))];
    BenchReport::detail(QStringLiteral("%1 messages recorded (%2 different), %3 beeps")
                            .arg(ui.messages.size()).arg(distinct.size()).arg(ui.beeps));
    int shown = 0;
    for (auto it = distinct.cbegin(); it != distinct.cend() && shown < kShownMessages; ++it, ++shown)
        BenchReport::detail(QStringLiteral("  %1 x %2").arg(it.value()).arg(it.key()));

    const qint64 growth = endKiB - startKiB;
    const bool met = !cutShort && reads >= m_options.moduleReads && growth <= kGrowthTargetKiB && ui.messages.isEmpty()
                     && churn.unexpected == 0;
    BenchReport::result(key, what,
                        QStringLiteral("VmRSS %1 -> %2 (%3%4 KiB), %5 messages%6")
                            .arg(mebibytes(startKiB), mebibytes(endKiB), growth >= 0 ? QStringLiteral("+") : QString())
                            .arg(growth).arg(ui.messages.size())
                            .arg(cutShort ? QStringLiteral(", cut short after %1 s").arg(m_options.maxSeconds) : QString()),
                        target, met);
    window.timer().stop();
    return true;
}
