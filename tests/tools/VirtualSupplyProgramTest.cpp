// The tavrel-virtual-supply program, run as users and scripts run it.

#include "SlaveEnd.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
constexpr int kStartMs = 5000;
constexpr int kReplyWaitMs = 2000;
const QString kProgram = QStringLiteral(TAVREL_VIRTUAL_SUPPLY_PATH);
} // namespace

class VirtualSupplyProgramTest : public QObject
{
    Q_OBJECT

private:
    // Starts the program and returns the path it prints, or an empty text.
    static QString startSupply(QProcess &process, const QStringList &arguments)
    {
        process.start(kProgram, arguments);
        if (!process.waitForStarted(kStartMs))
            return {};
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(kStartMs))
                return {};
        }
        return QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    static bool endWith(QProcess &process, int signal)
    {
        ::kill(pid_t(process.processId()), signal);
        return process.waitForFinished(kStartMs) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

private slots:
    void printsThePathAndServesTheLink()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("tavrel-com1"));
        QProcess process;
        const QString path = startSupply(process, {QStringLiteral("--link"), link});
        QVERIFY2(path.startsWith(QLatin1String("/dev/pts/")), qPrintable(path));
        QCOMPARE(QFileInfo(link).symLinkTarget(), path);

        SlaveEnd slave;
        QVERIFY(slave.open(link));
        slave.sendCommand("VEN150");
        QCOMPARE(slave.readLines(1, kReplyWaitMs), QByteArray("VEN150\r\n"));
        slave.sendCommand("REN");
        QCOMPARE(slave.readLines(2, kReplyWaitMs), QByteArray("REN\r\nEN 0 0 150 150 0\r\n"));
        slave.close();

        QVERIFY(endWith(process, SIGTERM));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void optionsReachTheSupply()
    {
        QProcess process;
        const QString path = startSupply(process, {QStringLiteral("--model"), QStringLiteral("tavrel"),
                                                   QStringLiteral("--prompt"), QStringLiteral("--extra-lines"),
                                                   QStringLiteral("1")});
        QVERIFY(!path.isEmpty());
        SlaveEnd slave;
        QVERIFY(slave.open(path));
        slave.sendCommand("RFI");
        QCOMPARE(slave.readLines(3, kReplyWaitMs), QByteArray("READY\r\n>RFI\r\nFI off\r\n"));
        QVERIFY(endWith(process, SIGINT));

        // A supply in use for the demo: energy, filament and screen on at their values.
        QProcess running;
        const QString runningPath = startSupply(running, {QStringLiteral("--running-state")});
        SlaveEnd live;
        QVERIFY(live.open(runningPath));
        live.sendCommand("RCA");
        const QList<QByteArray> cathode = live.readLines(2, kReplyWaitMs).split('\n');
        QVERIFY2(cathode.value(1).startsWith("CA 0 0 2.1 "), cathode.value(1).constData());
        live.sendCommand("RSC");
        const QList<QByteArray> screen = live.readLines(2, kReplyWaitMs).split('\n');
        QVERIFY2(screen.value(1).startsWith("SC -100 5500 "), screen.value(1).constData());
        QVERIFY(endWith(running, SIGTERM));
    }

    void hangsUpAndReopensAtTheLink()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("com2"));
        QProcess process;
        const QString first = startSupply(process, {QStringLiteral("--link"), link, QStringLiteral("--hangup-after"),
                                                    QStringLiteral("1"), QStringLiteral("--reopen-after"),
                                                    QStringLiteral("100")});
        QVERIFY(!first.isEmpty());
        SlaveEnd slave;
        QVERIFY(slave.open(link));
        slave.sendCommand("VEN3");
        QCOMPARE(slave.readLines(1, kReplyWaitMs), QByteArray("VEN3\r\n"));
        slave.readFor(500);
        QVERIFY(slave.hungUp());

        QVERIFY(process.canReadLine() || process.waitForReadyRead(kStartMs));
        const QString second = QString::fromLocal8Bit(process.readLine()).trimmed();
        QVERIFY(second.startsWith(QLatin1String("/dev/pts/")));
        QCOMPARE(QFileInfo(link).symLinkTarget(), second);
        SlaveEnd again;
        QVERIFY(again.open(link));
        again.sendCommand("REN");
        QCOMPARE(again.readLines(2, kReplyWaitMs), QByteArray("REN\r\nEN 0 0 3 3 0\r\n"));
        QVERIFY(endWith(process, SIGTERM));
    }

    void helpAndBadArguments()
    {
        QProcess help;
        help.start(kProgram, {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(kStartMs));
        const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
        for (const char *word : {"--link", "--baud", "--silent", "--no-echo", "--extra-lines", "--garbage",
                                 "--runaway", "--silent-after", "--hangup-after", "--model",
                                 "tavrel-virtual-supply --link /tmp/tavrel-com1"})
            QVERIFY2(text.contains(QLatin1String(word)), word);

        QProcess bad;
        bad.start(kProgram, {QStringLiteral("--model"), QStringLiteral("r9999")});
        QVERIFY(bad.waitForFinished(kStartMs));
        QVERIFY(bad.exitCode() != 0);
        QVERIFY(bad.readAllStandardOutput().isEmpty());
        QVERIFY(!bad.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(VirtualSupplyProgramTest)
#include "VirtualSupplyProgramTest.moc"
