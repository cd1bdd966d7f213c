#include "Figures.h"

#include "BenchReport.h"
#include "BenchWindow.h"
#include "ProcessStats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMap>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {
constexpr float kMonitorNoise = 0.001f; // the monitors change on every read, so clients get notes
constexpr qint64 kGrowthTargetKiB = 2048;
constexpr int kSamples = 10; // memory samples printed along the way
constexpr int kShownMessages = 5;
constexpr int kStopSliceMs = 10;

const QString kAdvisedItem = QStringLiteral("Label_UMon(0)");
const QString kRequestedItem = QStringLiteral("Text_Value(0)");
const QString kPokedItem = QStringLiteral("DA_set_voltage");
// Two control voltages taken in turn (100 eV and 150 eV at 100 eV per volt).
const QString kPokeTexts[2] = {QStringLiteral("1"), QStringLiteral("1.5")};
const QString kChanged = QStringLiteral("CHANGED ");
const QString kOk = QStringLiteral("OK");
const QString kData = QStringLiteral("DATA ");

QString mebibytes(qint64 kib)
{
    return BenchReport::fixed(double(kib) / 1024.0, 2) + QStringLiteral(" MiB");
}

// One answer line without its LF, or nothing when none came in time.
std::optional<QString> readLine(QLocalSocket &socket, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || socket.state() != QLocalSocket::ConnectedState || !socket.waitForReadyRead(int(left)))
            return std::nullopt;
    }
    QByteArray line = socket.readLine();
    line.chop(1);
    return QString::fromUtf8(line);
}

// What the control-link clients of a run did, counted by all of them.
struct ChurnCounts
{
    std::mutex mutex;
    long long conversations = 0;
    long long connectFailures = 0;
    long long answers = 0;
    long long changedNotes = 0;
    long long unexpected = 0; // ERROR answers, wrong answers, answers that never came
    QStringList firstUnexpected;
};

// A control-link client on a thread of its own that keeps opening conversations with the
// program, advising a monitor label, requesting and now and then poking, listening for change
// notifications, and closing again: the churn of remote clients during an endurance run. The
// program must keep running its event loop until every client has seen `stop`, or a
// conversation waits for answers in vain.
class ControlLinkChurn
{
public:
    static constexpr int kPokeEvery = 10; // every tenth conversation pokes the control voltage
    static constexpr int kListenMs = 20;  // how long a conversation listens for notes
    static constexpr int kAnswerTimeoutMs = 5000;
    static constexpr int kConnectTimeoutMs = 1000;
    static constexpr int kKeptUnexpected = 5;

    ControlLinkChurn(const QString &socketPath, const std::atomic<bool> &stop, ChurnCounts &counts)
        : m_socketPath(socketPath), m_stop(stop), m_counts(counts)
    {
    }

    void run()
    {
        long long number = 0;
        while (!m_stop) {
            QLocalSocket socket;
            socket.connectToServer(m_socketPath);
            const bool connected = socket.waitForConnected(kConnectTimeoutMs);
            {
                std::lock_guard<std::mutex> lock(m_counts.mutex);
                ++(connected ? m_counts.conversations : m_counts.connectFailures);
            }
            if (!connected)
                continue;
            converse(socket, ++number);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(kConnectTimeoutMs);
        }
    }

private:
    void converse(QLocalSocket &socket, long long number)
    {
        if (!exchange(socket, QStringLiteral("ADVISE ") + kAdvisedItem, kOk))
            return;
        if (!exchange(socket, QStringLiteral("REQUEST ") + kRequestedItem, kData))
            return;
        if (number % kPokeEvery == 0
            && !exchange(socket, QStringLiteral("POKE ") + kPokedItem + QLatin1Char(' ') + kPokeTexts[(number / kPokeEvery) % 2], kOk))
            return;
        QElapsedTimer listening;
        listening.start();
        while (listening.elapsed() < kListenMs) {
            const std::optional<QString> line = readLine(socket, int(kListenMs - listening.elapsed()));
            if (!line)
                break;
            std::lock_guard<std::mutex> lock(m_counts.mutex);
            if (line->startsWith(kChanged))
                ++m_counts.changedNotes;
        }
        exchange(socket, QStringLiteral("UNADVISE ") + kAdvisedItem, kOk);
    }

    // Sends `line` and waits for its answer, counting notes that come first.
    bool exchange(QLocalSocket &socket, const QString &line, const QString &expectedPrefix)
    {
        socket.write(line.toUtf8() + '\n');
        socket.flush();
        for (;;) {
            const std::optional<QString> answer = readLine(socket, kAnswerTimeoutMs);
            std::lock_guard<std::mutex> lock(m_counts.mutex);
            if (answer && answer->startsWith(kChanged)) {
                ++m_counts.changedNotes;
                continue;
            }
            if (!answer || !answer->startsWith(expectedPrefix)) {
                ++m_counts.unexpected;
                if (m_counts.firstUnexpected.size() < kKeptUnexpected)
                    m_counts.firstUnexpected.append(line + QStringLiteral(" -> ") + answer.value_or(QStringLiteral("no answer")));
                return false;
            }
            ++m_counts.answers;
            return true;
        }
    }

    const QString m_socketPath;
    const std::atomic<bool> &m_stop;
    ChurnCounts &m_counts;
};
} // namespace

bool EnduranceBench::run(const Options &options)
{
    const BenchReport::Figure figure{
        QStringLiteral("E"),
        QStringLiteral("Endurance: refresh cycles back to back, unpaced, %1 module reads, %2 control-link clients")
            .arg(options.moduleReads).arg(options.clients),
        QStringLiteral("VmRSS growth <= 2 MiB, no messages")};

    VirtualSupply::Options supplyOptions;
    supplyOptions.keepLog = false; // the log would grow for ever and count as our memory
    supplyOptions.monitorNoise = kMonitorNoise;
    BenchWindow bench(supplyOptions);
    if (!bench.ready()) {
        figure.failed(BenchWindow::kNotConnected);
        return false;
    }
    MainWindow &window = *bench.window;
    const RecordingUserInterface &ui = bench.ui;
    window.timer().stop(); // the cycles run back to back instead of once a second
    window.state().setAutoRefresh(true);

    int timeouts = 0;
    int portLosses = 0;
    QObject::connect(&window.line(), &SupplyLine::replyTimedOut, &window, [&timeouts] { ++timeouts; });
    QObject::connect(&window.line(), &SupplyLine::portLost, &window, [&portLosses] { ++portLosses; });
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

    ChurnCounts churn;
    std::atomic<bool> stopClients{false};
    std::atomic<int> runningClients{options.clients};
    std::vector<std::thread> clients;
    for (int i = 0; i < options.clients; ++i) {
        clients.emplace_back([&, socketPath = window.controlLinkServer().socketPath()] {
            ControlLinkChurn(socketPath, stopClients, churn).run();
            --runningClients;
        });
    }

    for (int i = 0; i < options.warmUpCycles; ++i)
        cycle();
    const qint64 startKiB = ProcessStats::residentKiB();
    BenchReport::detail(QStringLiteral("after %1 warm-up cycles: VmRSS %2").arg(options.warmUpCycles).arg(mebibytes(startKiB)));

    const qint64 cycles = (options.moduleReads + kModuleCount - 1) / kModuleCount;
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
        if (clock.elapsed() > qint64(options.maxSeconds) * 1000) {
            cutShort = true;
            ++done;
            break;
        }
    }
    const double seconds = double(clock.elapsed()) / 1000.0;
    const double cpu = ProcessStats::processCpuSeconds() - cpuStart;
    const qint64 endKiB = ProcessStats::residentKiB();
    // Answers come from this thread's event loop: keep it running until every client is done.
    stopClients = true;
    while (runningClients > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, kStopSliceMs);
    for (std::thread &client : clients)
        client.join();

    const qint64 reads = done * kModuleCount;
    BenchReport::detail(QStringLiteral("%1 cycles (%2 module reads) in %3 s = %4 reads/s; process CPU %5 s; "
                                       "%6 time-outs, %7 port losses, %8 auto refresh restarts, %9 setup dialogs")
                            .arg(done).arg(reads)
                            .arg(BenchReport::fixed(seconds, 1), BenchReport::fixed(double(reads) / seconds, 0),
                                 BenchReport::fixed(cpu, 1))
                            .arg(timeouts).arg(portLosses).arg(autoRefreshRestarts).arg(bench.setupDialogs));
    BenchReport::detail(QStringLiteral("control link: %1 conversations, %2 answers, %3 change notes, %4 failed connects, "
                                       "%5 unexpected answers")
                            .arg(churn.conversations).arg(churn.answers).arg(churn.changedNotes)
                            .arg(churn.connectFailures).arg(churn.unexpected));
    for (const QString &line : std::as_const(churn.firstUnexpected))
        BenchReport::detail(QStringLiteral("  unexpected: ") + line);

    QMap<QString, int> distinct;
    for (const RecordingUserInterface::Message &message : ui.messages)
        ++distinct[message.title + QStringLiteral(": ") + QString(message.text).replace(QLatin1Char('\r'), QLatin1Char(' '))];
    BenchReport::detail(QStringLiteral("%1 messages recorded (%2 different), %3 beeps")
                            .arg(ui.messages.size()).arg(distinct.size()).arg(ui.beeps));
    int shown = 0;
    for (auto it = distinct.cbegin(); it != distinct.cend() && shown < kShownMessages; ++it, ++shown)
        BenchReport::detail(QStringLiteral("  %1 x %2").arg(it.value()).arg(it.key()));

    const qint64 growth = endKiB - startKiB;
    const bool met = !cutShort && reads >= options.moduleReads && growth <= kGrowthTargetKiB && ui.messages.isEmpty()
                     && churn.unexpected == 0;
    figure.result(QStringLiteral("VmRSS %1 -> %2 (%3%4 KiB), %5 messages%6")
                      .arg(mebibytes(startKiB), mebibytes(endKiB), growth >= 0 ? QStringLiteral("+") : QString())
                      .arg(growth).arg(ui.messages.size())
                      .arg(cutShort ? QStringLiteral(", cut short after %1 s").arg(options.maxSeconds) : QString()),
                  met);
    return true;
}
