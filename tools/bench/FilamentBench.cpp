#include "Figures.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "CommandClock.h"
#include "Samples.h"
#include "WireTime.h"

#include <QFile>
#include <QLocalSocket>
#include <QRandomGenerator>

#include <atomic>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = CommandClock::Clock;
constexpr float kRampTarget = 2.0f; // A, within the cathode's limit (2.3 A)
constexpr int kRampSteps = 40;      // 10 s on the 250 ms grid
constexpr double kRampRate = kRampTarget * FilamentRamp::kStepsPerSecond / kRampSteps; // A/s
constexpr int kTrips = 20;
constexpr double kIdleTripTargetMs = 50.0;
constexpr int kRefreshSecondMs = 1000;
constexpr int kWaitMs = 30000;
constexpr int kSettleMs = 300;

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
    const BenchReport::Figure figure{
        QStringLiteral("10a"),
        QStringLiteral("Filament ramp 0 to %1 A at %2 A/s, auto refresh on, 9600 baud: lateness of each step at the "
                       "supply against the 250 ms grid")
            .arg(double(kRampTarget))
            .arg(kRampRate),
        QStringLiteral("for information (a step may wait for a read-back pass)")};
    FilamentScene scene;
    if (!scene.ready())
        return figure.failed(BenchWindow::kNotConnected);
    FilamentRamp &ramp = scene.window->filament().ramp();
    ramp.setRate(kRampRate);
    ramp.setPresent(0.0f);
    CommandClock clock(*scene.supply);
    clock.start();
    ramp.takeRequest(std::nullopt, kRampTarget, CommandSource::Panel);
    const bool ended = runEventsUntil([&] { return !ramp.isRunning(); }, kWaitMs);
    runEventsFor(kSettleMs);
    clock.stop();
    std::vector<Clock::time_point> steps;
    for (const CommandClock::Arrival &arrival : clock.arrivals())
        if (arrival.command.startsWith(QLatin1String("VCA")))
            steps.push_back(arrival.at);
    Samples lateness;
    for (std::size_t k = 1; k < steps.size(); ++k)
        lateness.add(milliseconds(steps[k] - steps[0]) - double(k) * FilamentRamp::kStepMs);
    // A step the line refused ends the ramp early, with a message.
    if (!ended || int(steps.size()) != kRampSteps || !scene.ui.messages.isEmpty())
        return figure.failed(QStringLiteral("the ramp did not complete: %1 of %2 steps, %3 messages")
                                 .arg(steps.size()).arg(kRampSteps).arg(scene.ui.messages.size()));
    figure.result(QStringLiteral("median %1 ms, worst %2 ms")
                      .arg(BenchReport::fixed(lateness.median(), 1), BenchReport::fixed(lateness.max(), 1)),
                  true);
}

void FilamentBench::tripLatency()
{
    const BenchReport::Figure figure{
        QStringLiteral("10b"),
        QStringLiteral("POKE Pressure above the limit to SCAOFF at the supply, %1 trips each: line idle / auto refresh "
                       "running at 9600 baud")
            .arg(kTrips),
        QStringLiteral("idle < %1 ms; running: one exchange more").arg(BenchReport::fixed(kIdleTripTargetMs, 0))};
    FilamentScene scene;
    if (!scene.ready())
        return figure.failed(BenchWindow::kNotConnected);
    PressureInterlock &interlock = scene.window->filament().interlock();
    interlock.setLimit(1e-5);
    const QString socketPath = scene.window->controlLinkServer().socketPath();
    QLocalSocket client;
    client.connectToServer(socketPath);
    if (!client.waitForConnected(kWaitMs))
        return figure.failed(QStringLiteral("no control link"));

    // The gauge script's own conversation, written to from another thread.
    const int gaugeFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path - 1);
    if (gaugeFd < 0 || ::connect(gaugeFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (gaugeFd >= 0)
            ::close(gaugeFd);
        return figure.failed(QStringLiteral("no control link for the gauge"));
    }
    runEventsUntil([&] { return scene.window->controlLinkServer().conversationCount() >= 2; }, kWaitMs);
    CommandClock clock(*scene.supply);
    const auto trips = [&](bool refreshing, Samples &latency) {
        if (refreshing)
            scene.window->timer().start();
        else
            scene.window->timer().stop();
        for (int i = 0; i < kTrips; ++i) {
            client.write("POKE Pressure 1E-08\n");
            client.flush();
            runEventsUntil([&] { return interlock.state() == PressureInterlock::State::Armed || interlock.canRearm(); }, kWaitMs);
            interlock.rearm();
            runEventsFor(kSettleMs);
            clock.start();
            // From a thread of its own, some way into the refresh second: the poke may arrive
            // while the window thread is inside an exchange, as a gauge script's would.
            std::atomic<qint64> sentNs{0};
            const int delayMs = refreshing ? int(QRandomGenerator::global()->bounded(kRefreshSecondMs)) : 0;
            std::thread gauge([&sentNs, delayMs, fd = gaugeFd] {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                sentNs = Clock::now().time_since_epoch().count();
                const char line[] = "POKE Pressure 1E-03\n";
                [[maybe_unused]] const ssize_t n = ::write(fd, line, sizeof line - 1);
            });
            runEventsUntil([&] { return clock.find(QStringLiteral("SCAOFF")).has_value(); }, kWaitMs);
            gauge.join();
            if (const auto off = clock.find(QStringLiteral("SCAOFF")))
                latency.add(milliseconds(off->second.at - Clock::time_point(Clock::duration(sentNs.load()))));
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
        return figure.failed(
            QStringLiteral("%1 and %2 trips of %3 sent SCAOFF").arg(idle.count()).arg(running.count()).arg(kTrips));
    figure.result(QStringLiteral("idle median %1 ms, worst %2 ms / running median %3 ms, worst %4 ms")
                      .arg(BenchReport::fixed(idle.median(), 1), BenchReport::fixed(idle.max(), 1),
                           BenchReport::fixed(running.median(), 1), BenchReport::fixed(running.max(), 1)),
                  idle.max() < kIdleTripTargetMs);
}
