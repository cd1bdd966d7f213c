#include "FilamentBench.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "CommandClock.h"
#include "Samples.h"
#include "WireTime.h"

#include "VirtualSupply.h"
#include "app/MainWindow.h"
#include "RecordingUserInterface.h"
#include "core/RuntimeDirectory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = CommandClock::Clock;
constexpr int kPollMs = 1;
constexpr int kWaitMs = 30000;
constexpr int kSettleMs = 300;
constexpr double kRampRate = FilamentBench::kRampTarget * FilamentRamp::kStepsPerSecond / FilamentBench::kRampSteps; // A/s

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs the event loop until `done` or the time is up.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(kPollMs);
    loop.exec();
    return done();
}

// The window on the paced supply with auto refresh at 1 Hz.
struct FilamentScene : BenchWindow
{
    FilamentScene() : BenchWindow(WireTime::kBenchBaud)
    {
        if (window)
            window->state().setAutoRefresh(true);
    }
};

} // namespace

void FilamentBench::rampGrid()
{
    const QString key = QStringLiteral("10a");
    const QString what = QStringLiteral("Filament ramp 0 to %1 A at %2 A/s, auto refresh on, 9600 baud: lateness of each "
                                        "step at the supply against the 250 ms grid")
                             .arg(double(kRampTarget))
                             .arg(kRampRate);
    const QString target = QStringLiteral("for information (a step may wait for a read-back pass)");
    FilamentScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    FilamentRamp &ramp = scene.window->filament().ramp();
    ramp.setRate(kRampRate);
    ramp.setPresent(0.0f);
    CommandClock clock(*scene.supply);
    clock.start();
    ramp.takeRequest(std::nullopt, kRampTarget, CommandSource::Panel);
    const bool ended = runUntil([&] { return !ramp.isRunning(); }, kWaitMs);
    runUntil([] { return false; }, kSettleMs);
    clock.stop();
    std::vector<Clock::time_point> steps;
    for (const CommandClock::Arrival &arrival : clock.arrivals())
        if (arrival.command.startsWith(QLatin1String("VCA")))
            steps.push_back(arrival.at);
    Samples lateness;
    for (std::size_t k = 1; k < steps.size(); ++k)
        lateness.add(ms(steps[k] - steps[0]) - double(k) * FilamentRamp::kStepMs);
    // A step the line refused ends the ramp early, with a message.
    if (!ended || int(steps.size()) != kRampSteps || !scene.ui.messages.isEmpty())
        return BenchReport::failed(key, what,
                                   QStringLiteral("the ramp did not complete: %1 of %2 steps, %3 messages")
                                       .arg(steps.size()).arg(kRampSteps).arg(scene.ui.messages.size()),
                                   target);
    BenchReport::result(key, what,
                        QStringLiteral("median %1 ms, worst %2 ms")
                            .arg(BenchReport::fixed(lateness.median(), 1), BenchReport::fixed(lateness.max(), 1)),
                        target, true);
}

void FilamentBench::tripLatency()
{
    const QString key = QStringLiteral("10b");
    const QString what = QStringLiteral("POKE Pressure above the limit to SCAOFF at the supply, %1 trips each: line idle / "
                                        "auto refresh running at 9600 baud")
                             .arg(kTrips);
    const QString target = QStringLiteral("idle < %1 ms; running: one exchange more").arg(BenchReport::fixed(kIdleTripTargetMs, 0));
    FilamentScene scene;
    if (!scene.ready())
        return BenchReport::failed(key, what, QStringLiteral("the window did not connect"), target);
    PressureInterlock &interlock = scene.window->filament().interlock();
    interlock.setLimit(1e-5);
    QLocalSocket client;
    client.connectToServer(RuntimeDirectory::filePath(QStringLiteral("Control")));
    if (!client.waitForConnected(kWaitMs))
        return BenchReport::failed(key, what, QStringLiteral("no control link"), target);

    // The gauge script's own conversation, written to from another thread.
    const int gaugeFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(RuntimeDirectory::filePath(QStringLiteral("Control")));
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    if (gaugeFd < 0 || ::connect(gaugeFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return BenchReport::failed(key, what, QStringLiteral("no control link for the gauge"), target);
    runUntil([&] { return scene.window->controlLinkServer().conversationCount() >= 2; }, kWaitMs);
    CommandClock clock(*scene.supply);
    const auto trips = [&](bool refreshing, Samples &latency) {
        if (refreshing)
            scene.window->timer().start();
        else
            scene.window->timer().stop();
        for (int i = 0; i < kTrips; ++i) {
            client.write("POKE Pressure 1E-08\n");
            client.flush();
            runUntil([&] { return interlock.state() == PressureInterlock::State::Armed || interlock.canRearm(); }, kWaitMs);
            interlock.rearm();
            runUntil([] { return false; }, kSettleMs);
            clock.start();
            // From a thread of its own, some way into the refresh second: the poke may arrive
            // while the window thread is inside an exchange, as a gauge script's would.
            std::atomic<qint64> sentNs{0};
            const int delayMs = refreshing ? int(QRandomGenerator::global()->bounded(1000)) : 0;
            std::thread gauge([&sentNs, delayMs, fd = gaugeFd] {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                sentNs = Clock::now().time_since_epoch().count();
                const char line[] = "POKE Pressure 1E-03\n";
                [[maybe_unused]] const ssize_t n = ::write(fd, line, sizeof line - 1);
            });
            runUntil([&] { return clock.find(QStringLiteral("SCAOFF")).has_value(); }, kWaitMs);
            gauge.join();
            if (const auto off = clock.find(QStringLiteral("SCAOFF")))
                latency.add(ms(off->second.at - Clock::time_point(Clock::duration(sentNs.load()))));
            clock.stop();
        }
    };
    Samples idle;
    Samples running;
    trips(false, idle);
    trips(true, running);
    scene.window->timer().stop();
    ::close(gaugeFd);
    if (idle.count() < kTrips || running.count() < kTrips)
        return BenchReport::failed(key, what, QStringLiteral("%1 and %2 trips of %3 sent SCAOFF").arg(idle.count()).arg(running.count()).arg(kTrips), target);
    BenchReport::result(key, what,
                        QStringLiteral("idle median %1 ms, worst %2 ms / running median %3 ms, worst %4 ms")
                            .arg(BenchReport::fixed(idle.median(), 1), BenchReport::fixed(idle.max(), 1),
                                 BenchReport::fixed(running.median(), 1), BenchReport::fixed(running.max(), 1)),
                        target, idle.max() < kIdleTripTargetMs);
}
