#include "Figures.h"

#include "BenchReport.h"
#include "NetworkRig.h"
#include "ProcessStats.h"
#include "Samples.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace {
using Clock = BrokerListener::Clock;

constexpr int kWaitMs = NetworkScene::kWaitMs;
constexpr int kMonitorChanges = 200;
constexpr float kEnergyEv = 100.0f;
constexpr float kEnergyStepEv = 1.0f;
constexpr double kMonitorTargetMs = 5.0;
constexpr int kRestarts = 3;
constexpr int kPublishSettleMs = 500;
constexpr double kRestartTargetS = 3.0;
constexpr double kKillTargetS = 1.0;
constexpr int kKeepAliveSeconds = 5;
constexpr int kProgramWaitMs = 20000; // a cold start of the whole program, setup dialog included
constexpr int kRampRuns = 3;
constexpr int kRampFrom = 100;
constexpr int kRampTo = 150;
constexpr int kRampSteps = kRampTo - kRampFrom + 1;
constexpr double kHandshakeTargetMs = 5.0;
constexpr float kMonitorNoise = 0.01f; // most read-backs change a monitor, as in operation
constexpr int kFirstPassesMs = 2000;
constexpr double kMaxAddedCpuPercent = 0.1;
// The run is cut into short periods, network off and on in turn, and the figure is the median of
// the periods' differences: a change of the machine's load then moves a few differences, not the
// figure, as it did when all of the run off came before all of it on.
constexpr int kCpuPeriods = 15; // odd: the median is one period's
constexpr int kPassWaitMs = 5000; // only a stalled refresh reaches it
constexpr int kReaders = 4;
constexpr int kReadsPerClient = 250;
// Each client keeps this many requests out, so that together they never overfill the queue.
constexpr int kReadsInFlight = NetworkLink::kMaxQueuedCommands / kReaders;
constexpr int kReadsWaitMs = 120000;

const QString kMonitorItem = QStringLiteral("Label_UMon(0)");
const QString kStatus = NetworkScene::topic(QStringLiteral("status"));
const QByteArray kOnline = "online";
const QByteArray kOffline = "offline";
const QString kNoListener = QStringLiteral("the subscriber did not subscribe");
const QString kRefreshStalled = QStringLiteral("the refresh stalled");

QString rampLine()
{
    return QStringLiteral("RAMP %1 %2 1 0 ACK").arg(kRampFrom).arg(kRampTo);
}

QString fixedMs(double ms, int decimals = 1)
{
    return BenchReport::fixed(ms, decimals) + QStringLiteral(" ms");
}

// A home of its own for a tavrel process, its settings file pointing the network at `broker`.
struct ProgramHome
{
    QTemporaryDir config;
    QTemporaryDir runtime;
    QTemporaryDir state;

    bool write(const BrokerFixture &broker) const
    {
        if (!config.isValid() || !runtime.isValid() || !state.isValid()
            || !QDir(config.path()).mkpath(QStringLiteral("tavrel")))
            return false;
        QFile file(config.filePath(QStringLiteral("tavrel/tavrel.ini")));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral("[%1]\nEnabled=1\nHost=%2\nPort=%3\nPrefix=%4\nKeepAlive=%5\n")
                       .arg(NetworkSettings::kSection, broker.host())
                       .arg(broker.port())
                       .arg(NetworkScene::kPrefix)
                       .arg(kKeepAliveSeconds)
                       .toUtf8());
        return file.error() == QFile::NoError;
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }
};

void endProcess(QProcess &process)
{
    process.kill();
    process.waitForFinished(kWaitMs);
}

// The ramp with a client on the local socket that acknowledges at once: its milliseconds, or -1.
double socketRampMs(MainWindow &window)
{
    QLocalSocket client;
    client.connectToServer(window.controlLinkServer().socketPath());
    if (!client.waitForConnected(kWaitMs))
        return -1.0;
    acknowledgeSteps(client);
    QElapsedTimer clock;
    clock.start();
    client.write((rampLine() + QLatin1Char('\n')).toUtf8());
    return waitForRampEnd(window.ramp()) ? double(clock.nsecsElapsed()) / 1.0e6 : -1.0;
}

// The same through the broker: every STEP acknowledged on the conversation's response topic.
double networkRampMs(NetworkScene &scene)
{
    const QString reply = QStringLiteral("bench/camera");
    MqttClient client;
    if (!startClient(client, scene.broker) || !client.subscribe(reply, 1, false))
        return -1.0;
    QObject::connect(&client, &MqttClient::messageArrived, &client, [&client, reply](const MqttMessage &message) {
        for (const QByteArray &line : message.payload.split('\n')) {
            if (line.startsWith("STEP "))
                sendCommand(client, QStringLiteral("ACK ") + QString::fromUtf8(line.split(' ').value(1)), reply);
        }
    });
    QElapsedTimer clock;
    clock.start();
    // The broker takes the subscription before the command: the first answer is heard.
    if (!sendCommand(client, rampLine(), reply) || !waitForRampEnd(scene.window->ramp()))
        return -1.0;
    return double(clock.nsecsElapsed()) / 1.0e6;
}

// Process CPU and wall-clock time over `passes` read-backs, from the end of one to the end of the
// last: whole passes, so that no period holds one more than another. The wait sleeps.
struct CpuSpan
{
    double cpuSeconds = 0.0;
    double wallSeconds = 0.0;
    double share() const { return cpuSeconds / wallSeconds; }
};

std::optional<CpuSpan> cpuOverPasses(ReadBack &readBack, int passes)
{
    QEventLoop loop;
    QElapsedTimer wall;
    double cpuAtStart = 0.0;
    int ended = -1;
    std::optional<CpuSpan> span;
    QObject::connect(&readBack, &ReadBack::passRead, &loop, [&] {
        if (++ended == 0) {
            cpuAtStart = ProcessStats::processCpuSeconds();
            wall.start();
        }
        if (ended == passes) {
            span = CpuSpan{ProcessStats::processCpuSeconds() - cpuAtStart, double(wall.nsecsElapsed()) / 1.0e9};
            loop.quit();
        }
    });
    QTimer::singleShot((passes + 1) * kPassWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return span;
}

// Runs the event loop to the end of the read-back under way.
bool waitForPassEnd(ReadBack &readBack)
{
    return cpuOverPasses(readBack, 0).has_value();
}

// The subscriber's messages, a line each, and how many of them are state messages.
std::pair<qsizetype, qsizetype> messagesAndStates(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0};
    const QByteArray text = file.readAll();
    return {text.count('\n'), text.count("{\"items\":")};
}

} // namespace

void NetworkBench::monitorChangeLatency()
{
    const BenchReport::Figure figure{
        QStringLiteral("12a"),
        QStringLiteral("Monitor change to a subscriber on the loopback: the read-back that changes %1 to its item "
                       "message arriving, %2 changes")
            .arg(kMonitorItem)
            .arg(kMonitorChanges),
        QStringLiteral("p95 < %1 ms").arg(kMonitorTargetMs)};
    Clock::time_point changedAt;
    QString changedText;
    NetworkScene scene;
    QString why;
    if (!scene.start(why, NetworkScene::Network::On))
        return figure.failed(why);
    const QString itemTopic = NetworkScene::topic(QStringLiteral("item/") + kMonitorItem);
    BrokerListener listener(scene.broker, itemTopic);
    if (!listener.waitReady(kWaitMs))
        return figure.failed(kNoListener);
    // Stamped as the model takes the new text, just before the network hears of it.
    QObject::connect(&scene.window->model(), &SupplyModel::monitorTextChanged, &scene.window->model(),
                     [&](SupplyModel::Monitor monitor, int module, const QString &text) {
                         if (monitor == SupplyModel::Monitor::Voltage && module == 0) {
                             changedAt = Clock::now();
                             changedText = text;
                         }
                     });
    Samples ms;
    int unchanged = 0;
    int lost = 0;
    for (int i = 0; i < kMonitorChanges; ++i) {
        const float energy = kEnergyEv + (i % 2 == 0 ? kEnergyStepEv : 0.0f);
        scene.supply->updateModel([energy](InstrumentModel &model) { model.setEnergy(energy); });
        changedText.clear();
        LineTask<qint32> readBack = scene.window->readBack().readAll(false);
        while (!readBack.isDone())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (changedText.isEmpty()) {
            ++unchanged;
            continue;
        }
        const std::optional<BrokerListener::Arrival> arrival =
            listener.waitFor(itemTopic, changedText.toUtf8(), kWaitMs, changedAt);
        if (!arrival) {
            ++lost;
            continue;
        }
        ms.add(milliseconds(arrival->at - changedAt));
    }
    if (ms.empty())
        return figure.failed(QStringLiteral("no change arrived"));
    BenchReport::detail(QStringLiteral("min %1, median %2, p95 %3, max %4; %5 read-backs without a change, %6 changes "
                                       "never arrived")
                            .arg(fixedMs(ms.min(), 2), fixedMs(ms.median(), 2), fixedMs(ms.percentile(95.0), 2),
                                 fixedMs(ms.max(), 2))
                            .arg(unchanged)
                            .arg(lost));
    figure.result(QStringLiteral("p95 %1 (median %2)").arg(fixedMs(ms.percentile(95.0), 2), fixedMs(ms.median(), 2)),
                  unchanged == 0 && lost == 0 && ms.percentile(95.0) < kMonitorTargetMs);
}

void NetworkBench::brokerRestart()
{
    const BenchReport::Figure figure{
        QStringLiteral("12b"),
        QStringLiteral("Broker restart (stopped, started again on the same port) to status online seen by a new "
                       "subscriber, %1 restarts")
            .arg(kRestarts),
        QStringLiteral("< %1 s").arg(kRestartTargetS)};
    NetworkScene scene;
    QString why;
    if (!scene.start(why, NetworkScene::Network::On))
        return figure.failed(why);
    Samples seconds;
    for (int run = 1; run <= kRestarts; ++run) {
        // The connect's publications acknowledged first: the library sends those it still holds
        // again after a reconnect, ahead of the fresh ones, and they would blur the order seen.
        runEventsFor(kPublishSettleMs);
        scene.broker.stop();
        runEventsUntil([&scene] { return scene.network().state() != NetworkLink::State::Connected; }, kWaitMs);
        const Clock::time_point start = Clock::now();
        if (!scene.broker.start())
            return figure.failed(QStringLiteral("the broker did not start again"));
        const double portMs = milliseconds(Clock::now() - start);
        BrokerListener listener(scene.broker, NetworkScene::topic(QStringLiteral("#")));
        // Subscribed after the program published, the listener hears the retained ones, later.
        listener.waitReady(kWaitMs);
        const double subscribedMs = milliseconds(Clock::now() - start);
        const std::optional<BrokerListener::Arrival> online = listener.waitFor(kStatus, kOnline, kWaitMs);
        if (!online) {
            BenchReport::detail(QStringLiteral("restart %1: no online within %2 ms").arg(run).arg(kWaitMs));
            continue;
        }
        const std::optional<BrokerListener::Arrival> item =
            listener.waitFor(NetworkScene::topic(QStringLiteral("item/") + kMonitorItem), {}, kWaitMs);
        seconds.add(milliseconds(online->at - start) / 1000.0);
        BenchReport::detail(QStringLiteral("restart %1: port answering after %2, subscribed after %3, online seen after "
                                           "%4, %5 after %6")
                                .arg(run)
                                .arg(fixedMs(portMs), fixedMs(subscribedMs), fixedMs(milliseconds(online->at - start)),
                                     kMonitorItem, item ? fixedMs(milliseconds(item->at - start)) : QStringLiteral("never")));
    }
    if (seconds.empty())
        return figure.failed(QStringLiteral("online never seen again"));
    figure.result(QStringLiteral("worst %1 s (best %2 s)")
                      .arg(BenchReport::fixed(seconds.max(), 2), BenchReport::fixed(seconds.min(), 2)),
                  seconds.count() == kRestarts && seconds.max() < kRestartTargetS);
}

bool NetworkBench::programKill(const QString &program, int runs)
{
    const BenchReport::Figure figure{
        QStringLiteral("12c"),
        QStringLiteral("SIGKILL of the tavrel process (network on, keep-alive %1 s) to status offline seen by a "
                       "subscriber, %2 runs")
            .arg(kKeepAliveSeconds)
            .arg(runs),
        QStringLiteral("< %1 s").arg(kKillTargetS)};
    BrokerFixture broker;
    if (!BrokerFixture::isInstalled() || !broker.start()) {
        figure.failed(QStringLiteral("no broker (mosquitto is installed by scripts/install-deps.sh)"));
        return false;
    }
    BrokerListener listener(broker, kStatus);
    if (!listener.waitReady(kWaitMs)) {
        figure.failed(kNoListener);
        return false;
    }
    Samples ms;
    for (int run = 1; run <= runs; ++run) {
        const ProgramHome home;
        if (!home.write(broker)) {
            figure.failed(QStringLiteral("cannot write the program's settings"));
            return false;
        }
        QProcess process;
        process.setProcessEnvironment(home.environment());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice()); // without a supply it says so at length
        const Clock::time_point started = Clock::now();
        process.start(program, {});
        if (!process.waitForStarted(kWaitMs)) {
            figure.failed(program + QStringLiteral(": ") + process.errorString());
            return false;
        }
        const std::optional<BrokerListener::Arrival> online = listener.waitFor(kStatus, kOnline, kProgramWaitMs, started);
        if (!online) {
            BenchReport::detail(QStringLiteral("run %1: no online within %2 ms").arg(run).arg(kProgramWaitMs));
            endProcess(process);
            continue;
        }
        // A program that ended by itself said goodbye: that offline is no will.
        const bool running = process.state() == QProcess::Running;
        const Clock::time_point killed = Clock::now();
        process.kill(); // SIGKILL: no goodbye, the broker publishes the will
        const std::optional<BrokerListener::Arrival> offline = listener.waitFor(kStatus, kOffline, kWaitMs, killed);
        process.waitForFinished(kWaitMs);
        if (!running || !offline) {
            BenchReport::detail(QStringLiteral("run %1: %2").arg(run).arg(
                running ? QStringLiteral("no offline within %1 ms").arg(kWaitMs) : QStringLiteral("the program ended by itself")));
            continue;
        }
        ms.add(milliseconds(offline->at - killed));
        BenchReport::detail(QStringLiteral("run %1: online %2 after the start, offline %3 after the kill")
                                .arg(run)
                                .arg(fixedMs(milliseconds(online->at - started)), fixedMs(ms.at(ms.count() - 1))));
    }
    if (ms.empty()) {
        figure.failed(QStringLiteral("no run saw its offline"));
        return false;
    }
    figure.result(QStringLiteral("worst %1 (median %2)").arg(fixedMs(ms.max()), fixedMs(ms.median())),
                  ms.count() == runs && ms.max() < kKillTargetS * 1000.0);
    return true;
}

void NetworkBench::rampHandshake()
{
    const BenchReport::Figure figure{
        QStringLiteral("12d"),
        QStringLiteral("Ramp handshake through the broker against the local socket: %1 (%2 steps, unpaced), a client "
                       "that acknowledges at once, per step, median of %3 runs each")
            .arg(rampLine())
            .arg(kRampSteps)
            .arg(kRampRuns),
        QStringLiteral("< %1 ms more a step").arg(kHandshakeTargetMs)};
    NetworkScene scene;
    QString why;
    if (!scene.start(why, NetworkScene::Network::RemoteControl))
        return figure.failed(why);
    Samples socketMs;
    Samples networkMs;
    for (int run = 0; run < kRampRuns; ++run) {
        const double viaSocket = socketRampMs(*scene.window);
        const double viaNetwork = networkRampMs(scene);
        if (viaSocket < 0 || viaNetwork < 0)
            return figure.failed(QStringLiteral("a ramp did not complete"));
        socketMs.add(viaSocket);
        networkMs.add(viaNetwork);
    }
    const double perStep = (networkMs.median() - socketMs.median()) / kRampSteps;
    BenchReport::detail(QStringLiteral("local socket %1 .. %2, through the broker %3 .. %4 a ramp; %5 messages")
                            .arg(fixedMs(socketMs.min()), fixedMs(socketMs.max()), fixedMs(networkMs.min()),
                                 fixedMs(networkMs.max()))
                            .arg(scene.ui.messages.size()));
    figure.result(QStringLiteral("%1 ms more a step (%2 vs %3 a ramp)")
                      .arg(BenchReport::fixed(perStep, 2), fixedMs(networkMs.median()), fixedMs(socketMs.median())),
                  perStep < kHandshakeTargetMs);
}

void NetworkBench::refreshCpu()
{
    const int periods = std::min(kCpuPeriods, cpuRunSeconds());
    const int passes = cpuRunSeconds() / periods; // at 1 Hz, seconds
    const BenchReport::Figure figure{
        QStringLiteral("12e"),
        QStringLiteral("Process CPU over %1 s of auto refresh at 1 Hz (monitor noise %2 %): added by the network "
                       "with a subscriber (mosquitto_sub) connected, median of %3 periods of %4 s off and on in turn")
            .arg(periods * passes)
            .arg(100.0 * kMonitorNoise)
            .arg(periods)
            .arg(passes),
        QStringLiteral("< %1 % of one core").arg(BenchReport::fixed(kMaxAddedCpuPercent, 1))};
    VirtualSupply::Options options;
    options.monitorNoise = kMonitorNoise;
    NetworkScene scene(options);
    QString why;
    if (!scene.start(why, NetworkScene::Network::Off))
        return figure.failed(why);
    MainWindow &window = *scene.window;
    // Into a file, not a pipe of ours: reading the subscriber's messages would be our CPU too.
    QTemporaryDir folder;
    const QString messagesPath = folder.filePath(QStringLiteral("messages"));
    QProcess subscriber;
    subscriber.setStandardOutputFile(messagesPath);
    subscriber.setStandardErrorFile(QProcess::nullDevice());
    subscriber.start(QStringLiteral("mosquitto_sub"),
                     scene.broker.hostArguments()
                         + QStringList{QStringLiteral("-V"), QStringLiteral("mqttv5"), QStringLiteral("-t"),
                                       NetworkScene::topic(QStringLiteral("#"))});
    if (!folder.isValid() || !subscriber.waitForStarted(kWaitMs))
        return figure.failed(QStringLiteral("no subscriber"));
    window.timer().start();
    window.state().setAutoRefresh(true);
    runEventsFor(kFirstPassesMs);
    Samples added;
    double offSeconds = 0.0;
    double onSeconds = 0.0;
    using Network = NetworkScene::Network;
    Network mode = Network::Off;
    for (int period = 0; period < periods; ++period) {
        std::optional<CpuSpan> off;
        std::optional<CpuSpan> on;
        // Off and on, then on and off: a load that grows or shrinks steadily favours neither.
        const std::array<Network, 2> order = period % 2 == 0 ? std::array{Network::Off, Network::On}
                                                             : std::array{Network::On, Network::Off};
        for (const Network next : order) {
            if (next != mode) {
                mode = next;
                if (!scene.setNetwork(mode))
                    return figure.failed(QStringLiteral("the network did not connect"));
                // The pass the switch fell into ends, and the next one is not counted either:
                // the connect's publications are not the steady cost.
                if (!waitForPassEnd(window.readBack()))
                    return figure.failed(kRefreshStalled);
            }
            (mode == Network::On ? on : off) = cpuOverPasses(window.readBack(), passes);
        }
        if (!off || !on)
            return figure.failed(kRefreshStalled);
        offSeconds += off->cpuSeconds;
        onSeconds += on->cpuSeconds;
        added.add(100.0 * (on->share() - off->share()));
    }
    endProcess(subscriber);
    const auto [messages, states] = messagesAndStates(messagesPath);
    BenchReport::detail(QStringLiteral("network off %1 s, on %2 s CPU in all (%3 % of a core apart); added in the "
                                       "periods: median %4 %, middle half %5 .. %6 %, all %7 .. %8 %; the subscriber "
                                       "got %9 messages in the run, %10 of them states")
                            .arg(BenchReport::fixed(offSeconds, 3), BenchReport::fixed(onSeconds, 3),
                                 BenchReport::fixed(100.0 * (onSeconds - offSeconds) / (periods * passes), 3),
                                 BenchReport::fixed(added.median(), 3), BenchReport::fixed(added.percentile(25.0), 3),
                                 BenchReport::fixed(added.percentile(75.0), 3), BenchReport::fixed(added.min(), 3),
                                 BenchReport::fixed(added.max(), 3))
                            .arg(messages)
                            .arg(states));
    figure.result(QStringLiteral("%1 %").arg(BenchReport::fixed(added.median(), 3)),
                  states > 0 && added.median() < kMaxAddedCpuPercent);
}

void NetworkBench::concurrentReads()
{
    const BenchReport::Figure figure{
        QStringLiteral("12f"),
        QStringLiteral("%1 reading commands from %2 clients (%3 each, at most %4 out each), each on its own response "
                       "topic with a sequence number as correlation data")
            .arg(kReaders * kReadsPerClient)
            .arg(kReaders)
            .arg(kReadsPerClient)
            .arg(kReadsInFlight),
        QStringLiteral("all answered (DATA), in order for each client")};
    NetworkScene scene;
    QString why;
    if (!scene.start(why, NetworkScene::Network::On))
        return figure.failed(why);
    const QStringList items = {kMonitorItem, QStringLiteral("Label_IMon(0)"), QStringLiteral("Text_Value(0)"),
                               QStringLiteral("Label_CommPort")};
    struct Reader
    {
        MqttClient client;
        QString reply;
        int sent = 0;
        int answered = 0;
        int outOfOrder = 0;
        int refused = 0;
    };
    std::array<Reader, kReaders> readers;
    const auto sendNext = [&items](Reader &reader) {
        const QString line = QStringLiteral("REQUEST ") + items.at(reader.sent % items.size());
        const QByteArray sequence = QByteArray::number(reader.sent++);
        sendCommand(reader.client, line, reader.reply, sequence);
    };
    for (int i = 0; i < kReaders; ++i) {
        Reader &reader = readers[std::size_t(i)];
        reader.reply = QStringLiteral("bench/reader/%1").arg(i);
        if (!startClient(reader.client, scene.broker) || !reader.client.subscribe(reader.reply, 1, false))
            return figure.failed(QStringLiteral("a client did not connect"));
        QObject::connect(&reader.client, &MqttClient::messageArrived, &reader.client,
                         [&reader, &sendNext](const MqttMessage &message) {
                             if (message.correlationData.toInt() != reader.answered)
                                 ++reader.outOfOrder;
                             if (!message.payload.startsWith("DATA "))
                                 ++reader.refused;
                             ++reader.answered;
                             if (reader.sent < kReadsPerClient)
                                 sendNext(reader);
                         });
    }
    const auto answered = [&readers] {
        int total = 0;
        for (const Reader &reader : readers)
            total += reader.answered;
        return total;
    };
    QElapsedTimer clock;
    clock.start();
    for (Reader &reader : readers) {
        while (reader.sent < kReadsInFlight)
            sendNext(reader);
    }
    runEventsUntil([&] { return answered() >= kReaders * kReadsPerClient; }, kReadsWaitMs);
    const double ms = double(clock.nsecsElapsed()) / 1.0e6;
    int outOfOrder = 0;
    int refused = 0;
    for (const Reader &reader : readers) {
        outOfOrder += reader.outOfOrder;
        refused += reader.refused;
        reader.client.disconnect();
    }
    const int total = answered();
    BenchReport::detail(QStringLiteral("%1 answers in %2 (%3 a second), %4 not DATA, %5 out of order")
                            .arg(total)
                            .arg(fixedMs(ms), BenchReport::fixed(total * 1000.0 / ms, 0))
                            .arg(refused)
                            .arg(outOfOrder));
    const bool met = total == kReaders * kReadsPerClient && refused == 0 && outOfOrder == 0;
    figure.result(QStringLiteral("%1 of %2 answered in %3, %4 out of order")
                      .arg(total)
                      .arg(kReaders * kReadsPerClient)
                      .arg(fixedMs(ms))
                      .arg(outOfOrder),
                  met);
}
