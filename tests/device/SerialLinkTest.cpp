#include "ScriptedTerminal.h"
#include "TestEnvironment.h"
#include "VirtualSupply.h"

#include "RecordingUserInterface.h"
#include "device/PortTable.h"
#include "device/SerialLink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

namespace {

double processCpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

const QString kCaption = QStringLiteral("Tavrel Power Supply [R4150-D]");
constexpr int kHangUpNoticedMs = 10000; // only a hang-up that is never noticed reaches it

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_ui.clear();
        m_link = std::make_unique<SerialLink>(m_ui);
        m_link->setCaption(kCaption);
    }
    void cleanup() { m_link.reset(); }

    void commandGoesOutAsTextLineFeedCarriageReturn()
    {
        VirtualSupply supply;
        QVERIFY(supply.start());
        PortTable::setPath(1, supply.devicePath());
        QSignalSpy captions(m_link.get(), &SerialLink::portCaptionChanged);
        QVERIFY(m_link->openPort(1));
        QCOMPARE(captions.last().at(0).toString(), QStringLiteral("COM1:"));
        QCOMPARE(m_link->lamp(), SerialLink::Lamp::Ok);
        QCOMPARE(m_link->writeLine(QStringLiteral("VEN100")), 0);
        QVERIFY(supply.waitForCommands(1, 2000));
        QCOMPARE(supply.receivedBytes(), QByteArray::fromHex("56454E3130300A0D"));
        QCOMPARE(m_link->lamp(), SerialLink::Lamp::Ok);
        QVERIFY(m_ui.messages.isEmpty());
    }

    void linesEndAtCarriageReturnAndDropLineFeeds()
    {
        ScriptedTerminal terminal;
        QVERIFY(terminal.isValid());
        PortTable::setPath(1, terminal.slavePath());
        QVERIFY(m_link->openPort(1));
        QString line;

        terminal.send("abc\r\n");
        QCOMPARE(m_link->readLine(line), 0);
        QCOMPARE(line, QStringLiteral("abc"));
        // The LF behind the CR stays waiting until the next transaction discards it.
        QTRY_VERIFY_WITH_TIMEOUT(true, 50);
        QCOMPARE(m_link->clearInput(), 0);

        terminal.send("\n\r");
        QCOMPARE(m_link->readLine(line), 0);
        QCOMPARE(line, QString());

        terminal.send(">VEN100\rnext");
        QCOMPARE(m_link->readLine(line), 0);
        QCOMPARE(line, QStringLiteral(">VEN100")); // the prompt is the protocol's business

        // Characters after the CR stay for the next read; without a CR it times out.
        QSignalSpy timeouts(m_link.get(), &SerialLink::replyTimedOut);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m_link->readLine(line), -1);
        QVERIFY(clock.elapsed() >= SerialLink::kReplyTimeoutMs);
        QCOMPARE(line, QStringLiteral("next"));
        QCOMPARE(m_link->lamp(), SerialLink::Lamp::TimedOut);
        QCOMPARE(timeouts.count(), 1);
        QVERIFY(m_ui.messages.isEmpty());
    }

    void silentLineTimesOutAfterOneSecond()
    {
        ScriptedTerminal terminal;
        PortTable::setPath(2, terminal.slavePath());
        QVERIFY(m_link->openPort(2));
        QString line = QStringLiteral("old");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m_link->readLine(line), -1);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 1000, qPrintable(QString::number(elapsed)));
        qInfo("silent read took %lld ms", elapsed);
        QCOMPARE(line, QString());
    }

    void runawayLineEndsAsTimeOutWithBoundedText()
    {
        ScriptedTerminal terminal;
        PortTable::setPath(1, terminal.slavePath());
        QVERIFY(m_link->openPort(1));
        terminal.send(QByteArray(3 * SerialLink::kMaxLineLength, 'x'));
        QString line;
        QSignalSpy timeouts(m_link.get(), &SerialLink::replyTimedOut);
        QCOMPARE(m_link->readLine(line), -1);
        QCOMPARE(line.size(), SerialLink::kMaxLineLength);
        QCOMPARE(timeouts.count(), 1);
        QCOMPARE(m_link->lamp(), SerialLink::Lamp::TimedOut);

        // Babble between exchanges, while the event loop runs: the program takes in a bounded
        // amount and leaves the rest in the line, where the next exchange discards it.
        constexpr qint64 kBabble = 8 * 1024 * 1024;
        terminal.send(QByteArray(kBabble, 'y'));
        qint64 taken = 0;
        for (int round = 0; round < 20; ++round) {
            QTest::qWait(50);
            taken = kBabble - terminal.pendingBytes();
        }
        qInfo("the line took %lld bytes of babble", taken);
        QVERIFY2(taken < 512 * 1024, qPrintable(QString::number(taken)));
        terminal.cancelSending();
        terminal.script({QByteArrayLiteral("VEN1\r")});
        QCOMPARE(m_link->clearInput(), 0);
        QCOMPARE(m_link->writeLine(QStringLiteral("VEN1")), 0);
        QCOMPARE(m_link->readLine(line), 0);
        QCOMPARE(line, QStringLiteral("VEN1"));
    }

    void portZeroMissingAndBusyDevices()
    {
        QSignalSpy lamps(m_link.get(), &SerialLink::lampChanged);
        QVERIFY(!m_link->openPort(0));
        QCOMPARE(m_link->portCaption(), QStringLiteral("COM?:"));
        QCOMPARE(lamps.count(), 0); // the lamp is not touched for port 0
        QVERIFY(m_ui.messages.isEmpty());

        PortTable::setPath(3, QStringLiteral("/nonexistent/tavrel-test-port"));
        QVERIFY(!m_link->openPort(3));
        QCOMPARE(m_link->lamp(), SerialLink::Lamp::Failed);
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages[0].text.startsWith(QStringLiteral("Error 8002 in SerialLink:\r")));
        QCOMPARE(m_ui.messages[0].title, QStringLiteral("Open ") + kCaption);
        QCOMPARE(m_ui.messages[0].icon, UserInterface::Icon::Critical);

        ScriptedTerminal terminal;
        PortTable::setPath(4, terminal.slavePath());
        RecordingUserInterface otherUi;
        SerialLink other(otherUi);
        other.setCaption(kCaption);
        QVERIFY(other.openPort(4));
        QVERIFY(!m_link->openPort(4));
        QCOMPARE(m_ui.messages.size(), 2);
        QVERIFY(m_ui.messages[1].text.startsWith(QStringLiteral("Error 8005 in SerialLink:\r")));
    }

    void deviceTheUserMayNotOpenIsReportedAsSuch()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not stop root");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ttyLocked"));
        QFile device(path);
        QVERIFY(device.open(QIODevice::WriteOnly));
        device.close();
        QVERIFY(device.setPermissions(QFileDevice::Permissions()));
        PortTable::setPath(6, path);
        QVERIFY(!m_link->openPort(6));
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages[0].text.startsWith(QStringLiteral("Error 8006 in SerialLink:\r")));
        QVERIFY(m_ui.messages[0].text.contains(QStringLiteral("dialout")));
    }

    void operationsOnClosedPortReportOnceEachAndCloseIsSilent()
    {
        QCOMPARE(m_link->closePort(), 0);
        QCOMPARE(m_link->closePort(), 0);
        QCOMPARE(m_link->lamp(), SerialLink::Lamp::Failed);
        QVERIFY(m_ui.messages.isEmpty());

        QCOMPARE(m_link->writeLine(QStringLiteral("VEN1")), qint32(SerialLink::kErrNotOpen));
        QCOMPARE(m_ui.messages.last().title, QStringLiteral("Writing to ") + kCaption);
        QString line;
        QCOMPARE(m_link->readLine(line), qint32(SerialLink::kErrNotOpen));
        QCOMPARE(m_ui.messages.last().title, QStringLiteral("Reading from ") + kCaption);
        QCOMPARE(m_link->clearInput(), qint32(SerialLink::kErrNotOpen));
        QCOMPARE(m_ui.messages.size(), 3);
    }

    void commandWithControlCharacterIsNeverSent()
    {
        VirtualSupply supply;
        QVERIFY(supply.start());
        PortTable::setPath(1, supply.devicePath());
        QVERIFY(m_link->openPort(1));
        QCOMPARE(m_link->writeLine(QStringLiteral("VEN1\rSCAON")), qint32(SerialLink::kErrControlCharacter));
        QCOMPARE(m_link->writeLine(QStringLiteral("GWE1\n")), qint32(SerialLink::kErrControlCharacter));
        QCOMPARE(m_link->writeLine(QStringLiteral("VEN2")), 0);
        // The supply reads the line in order: anything of the refused commands would come first.
        QVERIFY(supply.waitForCommands(1, 2000));
        QCOMPARE(supply.receivedCommands(), QStringList{QStringLiteral("VEN2")});
        QCOMPARE(m_ui.messages.size(), 2);
        QVERIFY(m_ui.messages[0].text.startsWith(QStringLiteral("Error 8040 in SerialLink:\r")));
    }

    void hangUpDuringReadClosesThePortWithOneMessageAndNoSpin()
    {
        ScriptedTerminal terminal;
        PortTable::setPath(1, terminal.slavePath());
        QVERIFY(m_link->openPort(1));
        QSignalSpy lost(m_link.get(), &SerialLink::portLost);
        std::thread hangUp([&terminal] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            terminal.hangUp();
        });
        QString line;
        const qint32 result = m_link->readLine(line);
        hangUp.join();
        QVERIFY2(result == SerialLink::kErrRead || result == SerialLink::kErrRemoved || result == -1,
                 qPrintable(QString::number(result)));
        if (result != -1) {
            QVERIFY(!m_link->isOpen());
            QCOMPARE(m_ui.messages.size(), 1);
        }

        // A read that timed out leaves the hang-up to the event loop; either way it is noticed.
        QVERIFY(QTest::qWaitFor([&] { return lost.count() >= 1; }, kHangUpNoticedMs));
        QVERIFY(!m_link->isOpen());

        // Whatever the read saw, the event loop must not spin on the dead line afterwards.
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(2000);
        const double cpu = processCpuSeconds() - cpuBefore;
        qInfo("CPU over %lld ms after the hang-up: %.3f s", wall.elapsed(), cpu);
        QVERIFY2(cpu < 0.5 * wall.elapsed() / 1000.0, qPrintable(QString::number(cpu)));
        QVERIFY(!m_link->isOpen());
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_link->lamp(), SerialLink::Lamp::Failed);
    }

    void hangUpWhileIdleIsReportedOnce()
    {
        ScriptedTerminal terminal;
        PortTable::setPath(1, terminal.slavePath());
        QVERIFY(m_link->openPort(1));
        QSignalSpy lost(m_link.get(), &SerialLink::portLost);
        terminal.hangUp();
        QVERIFY(QTest::qWaitFor([&] { return lost.count() >= 1; }, kHangUpNoticedMs));
        // Noticed once, and the event loop does not spin on the dead line afterwards.
        const double cpuBefore = processCpuSeconds();
        QTest::qWait(1500);
        const double cpu = processCpuSeconds() - cpuBefore;
        qInfo("CPU over 1.5 s after an idle hang-up: %.3f s", cpu);
        QVERIFY(cpu < 0.75);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages[0].text.startsWith(QStringLiteral("Error 8022 in SerialLink:\r")));
        QVERIFY(!m_link->isOpen());
    }

    void loopbackLineReturnsWhatIsWritten()
    {
        PortTable::setPath(5, PortTable::kLoopback);
        QVERIFY(m_link->openPort(5));
        QCOMPARE(m_link->writeLine(QStringLiteral("REN")), 0);
        QString line;
        QCOMPARE(m_link->readLine(line), 0);
        QCOMPARE(line, QStringLiteral("REN"));
        // A second program-side open of the same loopback line is "in use".
        RecordingUserInterface otherUi;
        SerialLink other(otherUi);
        other.setCaption(kCaption);
        QVERIFY(!other.openPort(5));
        QVERIFY(otherUi.messages[0].text.startsWith(QStringLiteral("Error 8005")));
    }

private:
    TestEnvironment m_environment;
    RecordingUserInterface m_ui;
    std::unique_ptr<SerialLink> m_link;
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "SerialLinkTest.moc"
