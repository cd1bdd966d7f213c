#include "BenchWindow.h"

#include "ProcessStats.h"
#include "SupplyScene.h"

#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTimer>

namespace {
constexpr int kPollMs = 1;
constexpr int kRampWaitMs = 60000; // a ramp that never starts (a refused RAMP) ends the wait
constexpr int kDefaultCpuSeconds = 60;
constexpr qint64 kMsecsPerSecond = 1000;

VirtualSupply::Options paced(int baud)
{
    VirtualSupply::Options options;
    options.baud = baud;
    return options;
}
} // namespace

BenchWindow::BenchWindow(int baud) : BenchWindow(paced(baud)) {}

BenchWindow::BenchWindow(const VirtualSupply::Options &options)
    : supply(std::make_unique<VirtualSupply>(options))
{
    if (!SupplyScene::startAsCom1(*supply))
        return;
    window = std::make_unique<MainWindow>(ui, CommandLine::parse(QStringLiteral("/COM1")));
    window->setSetupDialogRunner([this] { ++setupDialogs; });
    window->load();
    // The connecting read-back and the first cycle end before a figure starts.
    while (!window->line().isIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

BenchWindow::~BenchWindow()
{
    window.reset();
    supply->stop();
}

void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runEventsUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(kPollMs);
    loop.exec();
    return done();
}

bool waitForRampEnd(EnergyRamp &ramp)
{
    bool complete = false;
    QEventLoop loop;
    QTimer::singleShot(kRampWaitMs, &loop, &QEventLoop::quit);
    QObject::connect(&ramp, &EnergyRamp::finished, &loop, [&complete, &loop](int, bool finished) {
        complete = finished;
        loop.quit();
    });
    loop.exec();
    return complete;
}

void acknowledgeSteps(QLocalSocket &client)
{
    QObject::connect(&client, &QLocalSocket::readyRead, &client, [&client] {
        while (client.canReadLine()) {
            const QByteArray line = client.readLine().trimmed();
            if (line.startsWith("STEP "))
                client.write("ACK " + line.split(' ').value(1) + '\n');
        }
    });
}

int cpuRunSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("TAVREL_BENCH_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : kDefaultCpuSeconds;
}

double processCpuOver(int seconds)
{
    const double before = ProcessStats::processCpuSeconds();
    runEventsFor(int(seconds * kMsecsPerSecond));
    return ProcessStats::processCpuSeconds() - before;
}
