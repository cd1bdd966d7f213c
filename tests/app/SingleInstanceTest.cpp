#include "core/RuntimeDirectory.h"
#include "app/SingleInstance.h"

#include <QtTest>

#include <QLocalSocket>
#include <memory>
#include <vector>

namespace {

constexpr int kStarts = 6;
constexpr int kRounds = 4;
// Generous limits for a loaded machine; they only stop a broken test, they time nothing.
constexpr int kProcessWaitMs = 60000;
constexpr int kSignalWaitMs = 20000;
constexpr qint64 kStartDelayMs = 500;

QString probePath()
{
    return QStringLiteral(SINGLE_INSTANCE_PROBE);
}

// Output lines of a finished or running probe.
QStringList lines(QProcess &process)
{
    return QString::fromLatin1(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool waitForLine(QProcess &process, const QString &line, QStringList &seen)
{
    QDeadlineTimer deadline(kProcessWaitMs);
    while (!seen.contains(line)) {
        if (deadline.hasExpired())
            return false;
        if (!process.waitForReadyRead(1000) && process.state() == QProcess::NotRunning) {
            seen += lines(process);
            return seen.contains(line);
        }
        seen += lines(process);
    }
    return true;
}

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void simultaneousStartsGiveOnePrimary();
    void killedPrimaryDoesNotBlockNextStart();
    void requestsInOneProcess();

private:
    QTemporaryDir m_runtime;
};

void SingleInstanceTest::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    QVERIFY(RuntimeDirectory::path().startsWith(m_runtime.path()));
    QVERIFY(QFileInfo::exists(probePath()));
}

void SingleInstanceTest::simultaneousStartsGiveOnePrimary()
{
    // Every round has its own runtime folder below ours, as parallel test runs would.
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir runtime(m_runtime.path() + QStringLiteral("/round-XXXXXX"));
        QVERIFY(runtime.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());

        const QString startAt = QString::number(QDateTime::currentMSecsSinceEpoch() + kStartDelayMs);
        std::vector<std::unique_ptr<QProcess>> probes;
        for (int i = 0; i < kStarts; ++i) {
            auto probe = std::make_unique<QProcess>();
            probe->setProcessEnvironment(environment);
            probe->start(probePath(), {QStringLiteral("--expect"), QString::number(kStarts - 1),
                                       QStringLiteral("--start-at"), startAt});
            QVERIFY(probe->waitForStarted());
            probes.push_back(std::move(probe));
        }

        int primaries = 0;
        int notified = 0;
        int raises = 0;
        for (auto &probe : probes) {
            QVERIFY(probe->waitForFinished(kProcessWaitMs));
            QCOMPARE(probe->exitStatus(), QProcess::NormalExit);
            QCOMPARE(probe->exitCode(), 0);
            const QStringList output = lines(*probe);
            if (output.value(0) == QLatin1String("primary")) {
                ++primaries;
                raises += output.count(QStringLiteral("raise"));
            } else {
                QCOMPARE(output, QStringList {QStringLiteral("secondary notified")});
                ++notified;
            }
        }
        QCOMPARE(primaries, 1);
        QCOMPARE(notified, kStarts - 1);
        QCOMPARE(raises, kStarts - 1);
        // A primary that ended normally leaves no socket behind.
        QVERIFY(!QFileInfo::exists(runtime.path() + QStringLiteral("/tavrel/Instance")));
    }
}

void SingleInstanceTest::killedPrimaryDoesNotBlockNextStart()
{
    QProcess crashed;
    crashed.start(probePath(), {});
    QStringList seen;
    QVERIFY(waitForLine(crashed, QStringLiteral("primary"), seen));
    crashed.kill();
    QVERIFY(crashed.waitForFinished(kProcessWaitMs));
    // The killed run left its lock file and socket file behind.
    const QString folder = RuntimeDirectory::path();
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Instance.lock")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Instance")));

    QProcess next;
    next.start(probePath(), {QStringLiteral("--expect"), QStringLiteral("1")});
    seen.clear();
    QVERIFY(waitForLine(next, QStringLiteral("primary"), seen));

    // The new primary answers on the replaced socket.
    QProcess second;
    second.start(probePath(), {});
    QVERIFY(second.waitForFinished(kProcessWaitMs));
    QCOMPARE(lines(second), QStringList {QStringLiteral("secondary notified")});
    QVERIFY(waitForLine(next, QStringLiteral("raise"), seen));
    QVERIFY(next.waitForFinished(kProcessWaitMs));
    QCOMPARE(next.exitCode(), 0);

    // SIGTERM ends a primary through its event loop (termination signals in a real process).
    QProcess terminated;
    terminated.start(probePath(), {});
    seen.clear();
    QVERIFY(waitForLine(terminated, QStringLiteral("primary"), seen));
    terminated.terminate();
    QVERIFY(waitForLine(terminated, QStringLiteral("terminated 15"), seen));
    QVERIFY(terminated.waitForFinished(kProcessWaitMs));
    QCOMPARE(terminated.exitStatus(), QProcess::NormalExit);
}

void SingleInstanceTest::requestsInOneProcess()
{
    auto primary = std::make_unique<SingleInstance>();
    QVERIFY(primary->tryBecomePrimary());
    QVERIFY(primary->isPrimary());
    QSignalSpy activations(primary.get(), &SingleInstance::activationRequested);

    SingleInstance second;
    QVERIFY(!second.tryBecomePrimary());
    QVERIFY(!second.isPrimary());
    QVERIFY(second.notifyPrimary());
    QVERIFY(activations.wait(kSignalWaitMs));
    QCOMPARE(activations.count(), 1);

    // Anything but "raise" is ignored; an endless line is cut off without a request.
    {
        QLocalSocket stranger;
        stranger.connectToServer(RuntimeDirectory::filePath(QStringLiteral("Instance")));
        QVERIFY(stranger.waitForConnected(kSignalWaitMs));
        stranger.write("hello\nraisex\n" + QByteArray(1000, 'r'));
        QVERIFY(stranger.waitForBytesWritten(kSignalWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(stranger.state(), QLocalSocket::UnconnectedState, kSignalWaitMs);
    }
    QVERIFY(second.notifyPrimary());
    QVERIFY(activations.wait(kSignalWaitMs));
    QCOMPARE(activations.count(), 2);

    // Once the primary is gone, the next one takes over at once.
    primary.reset();
    SingleInstance third;
    QVERIFY(third.tryBecomePrimary());
    QVERIFY(!second.tryBecomePrimary());
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
