// The virtual supply in-process, seen from the program's end of its pseudo-terminal.

#include "SlaveEnd.h"
#include "VirtualSupply.h"

#include "core/Conversions.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/ioctl.h>

namespace {
constexpr int kReplyWaitMs = 2000;
constexpr int kQuietWaitMs = 300;

VirtualSupply::Options withFaults(const SupplyFaults &faults)
{
    VirtualSupply::Options options;
    options.faults = faults;
    return options;
}
} // namespace

class VirtualSupplyTest : public QObject
{
    Q_OBJECT

private:
    // Starts `supply` and opens its terminal in `slave`.
    static bool connect(VirtualSupply &supply, SlaveEnd &slave)
    {
        return supply.start() && slave.open(supply.devicePath());
    }
    static QByteArray exchange(SlaveEnd &slave, const QByteArray &command, int lines)
    {
        slave.sendCommand(command);
        return slave.readLines(lines, kReplyWaitMs);
    }

    static int isExclusive(int fd)
    {
        int exclusive = -1;
        return ioctl(fd, TIOCGEXCL, &exclusive) == 0 ? exclusive : -1;
    }

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void echoesCommandsAndLogsThem()
    {
        VirtualSupply supply;
        SlaveEnd slave;
        QVERIFY2(connect(supply, slave), qPrintable(supply.errorString()));
        QVERIFY(supply.devicePath().startsWith(QLatin1String("/dev/pts/")));

        QCOMPARE(exchange(slave, "VEN150", 1), QByteArray("VEN150\r\n"));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 150 150 0\r\n"));
        // LF is dropped wherever it stands; only CR ends the command.
        slave.sendRaw("\nV\nEN1,5\n\r");
        QCOMPARE(slave.readLines(1, kReplyWaitMs), QByteArray("VEN1,5\r\n"));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 1.5 1.5 0\r\n"));
        // An empty line and a command the supply does not know are echoed and nothing more.
        QCOMPARE(exchange(slave, "", 1), QByteArray("\r\n"));
        QCOMPARE(exchange(slave, "XEN5", 1), QByteArray("XEN5\r\n"));
        QCOMPARE(slave.readFor(kQuietWaitMs / 3), QByteArray());

        QCOMPARE(supply.receivedCommands(),
                 QStringList({"VEN150", "REN", "VEN1,5", "REN", "", "XEN5"}));
        QVERIFY(supply.receivedBytes().startsWith("VEN150\n\rREN\n\r\nV\nEN1,5\n\r"));
        QVERIFY(supply.sentBytes().startsWith("VEN150\r\nREN\r\nEN 0 0 150"));
        supply.clearLog();
        QVERIFY(supply.receivedCommands().isEmpty());
        QVERIFY(supply.receivedBytes().isEmpty());
    }

    void followsTheModelOfTheSupply()
    {
        VirtualSupply supply;
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        for (const char *set : {"VEN150", "GWE80", "OWE-10", "GSU50", "GL1200", "OL1-5"})
            QCOMPARE(exchange(slave, set, 1), QByteArray(set) + "\r\n");
        QCOMPARE(exchange(slave, "RWE", 2), QByteArray("RWE\r\nWE 80 -10 110 110 0\r\n"));
        QCOMPARE(exchange(slave, "RSU", 2), QByteArray("RSU\r\nSU 50 0 75 75 0\r\n"));
        QCOMPARE(exchange(slave, "RL1", 2), QByteArray("RL1\r\nL1 200 -5 295 295 0\r\n"));
        // The suppressor takes no offset; the energy moves every output that follows it.
        exchange(slave, "OSU5", 1);
        exchange(slave, "VEN100", 1);
        QCOMPARE(exchange(slave, "RSU", 2), QByteArray("RSU\r\nSU 50 0 50 50 0\r\n"));
        QCOMPARE(exchange(slave, "RWE", 2), QByteArray("RWE\r\nWE 80 -10 70 70 0\r\n"));

        // Screen: switched off until SSCON; its offset is the set voltage, its gain -100.
        exchange(slave, "VSC6500", 1);
        QCOMPARE(exchange(slave, "RSC", 2), QByteArray("RSC\r\nSC off\r\n"));
        exchange(slave, "SSCON", 1);
        QCOMPARE(exchange(slave, "RSC", 2), QByteArray("RSC\r\nSC -100 6500 6400 6400 0\r\n"));

        // Cathode: off at first, no beam or anode current; on, both follow its current.
        QCOMPARE(exchange(slave, "RCA", 2), QByteArray("RCA\r\nCA off\r\n"));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 100 100 0\r\n"));
        exchange(slave, "VCA2.3", 1);
        exchange(slave, "SCAON", 1);
        QCOMPARE(exchange(slave, "RCA", 2), QByteArray("RCA\r\nCA 0 0 2.3 3.45 2.3\r\n"));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 100 100 -1E-05\r\n"));
        QCOMPARE(exchange(slave, "RAN", 2), QByteArray("RAN\r\nAN 0 0 0 0 0.004\r\n"));
        exchange(slave, "VCA1.15", 1);
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 100 100 -5E-06\r\n"));
        // A switch argument other than ON or OFF changes nothing.
        exchange(slave, "SCAoff", 1);
        QVERIFY(supply.model().isOn(1));
        exchange(slave, "SCAOFF", 1);
        QCOMPARE(exchange(slave, "RCA", 2), QByteArray("RCA\r\nCA off\r\n"));
        QCOMPARE(exchange(slave, "RAN", 2), QByteArray("RAN\r\nAN 0 0 0 0 0\r\n"));
        // Commands for a module that does not take them are ignored.
        exchange(slave, "GEN50", 1);
        exchange(slave, "SWEOFF", 1);
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 100 100 0\r\n"));
        QVERIFY(supply.model().isOn(3));
    }

    void filamentModelUsesItsOwnCode()
    {
        VirtualSupply::Options options;
        options.model = InstrumentModel::kModelTavrel;
        VirtualSupply supply(options);
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        QCOMPARE(exchange(slave, "RFI", 2), QByteArray("RFI\r\nFI off\r\n"));
        exchange(slave, "VFI1,5", 1);
        exchange(slave, "SFION", 1);
        QCOMPARE(exchange(slave, "RFI", 2), QByteArray("RFI\r\nFI 0 0 1.5 2.25 1.5\r\n"));
        // The other model's code is not a module of this supply: echo only.
        QCOMPARE(exchange(slave, "RCA", 1), QByteArray("RCA\r\n"));
        QCOMPARE(slave.readFor(kQuietWaitMs / 3), QByteArray());
    }

    void writesPointsWhateverTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        VirtualSupply supply;
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        exchange(slave, "VEN12,5", 1);
        exchange(slave, "GAN50.5", 1);
        QCOMPARE(exchange(slave, "RAN", 2), QByteArray("RAN\r\nAN 50.5 0 6.3125 6.3125 0\r\n"));
    }

    void promptAndErrorLinesOnRequest()
    {
        VirtualSupply::Options options;
        options.prompt = true;
        options.errorReplies = true;
        VirtualSupply supply(options);
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        QCOMPARE(exchange(slave, "VEN150", 1), QByteArray(">VEN150\r\n"));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray(">REN\r\nEN 0 0 150 150 0\r\n"));
        QCOMPARE(exchange(slave, "QQ", 2), QByteArray(">QQ\r\nERR\r\n"));
        supply.setPrompt(false);
        QCOMPARE(exchange(slave, "VEN1", 1), QByteArray("VEN1\r\n"));
    }

    void testsCanSetUpAndOverrideReplies()
    {
        VirtualSupply supply;
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        supply.updateModel([](InstrumentModel &model) {
            model.setEnergy(250);
            model.setDataLineOverride(0, QStringLiteral("EN 1 2 3"));
        });
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 1 2 3\r\n"));
        supply.updateModel([](InstrumentModel &model) { model.setDataLineOverride(0, {}); });
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 250 250 0\r\n"));
        QCOMPARE(supply.model().energy(), 250.0f);

        // Noise, when asked for, touches the monitored voltage only, and stays within bounds.
        supply.updateModel([](InstrumentModel &model) { model.setMonitorNoise(0.01f, 7); });
        bool moved = false;
        for (int i = 0; i < 10; ++i) {
            const QList<QByteArray> fields = exchange(slave, "REN", 2).split('\n').at(1).trimmed().split(' ');
            QCOMPARE(fields.size(), 6);
            QCOMPARE(fields.at(3), QByteArray("250"));
            const float umon = ValOf(QString::fromLatin1(fields.at(4)));
            QVERIFY(umon >= 247.5f && umon <= 252.5f);
            moved |= umon != 250.0f;
        }
        QVERIFY(moved);
    }

    void silentAndNoEchoFaults()
    {
        SupplyFaults faults;
        faults.silent = true;
        VirtualSupply supply(withFaults(faults));
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        slave.sendCommand("VEN150");
        slave.sendCommand("REN");
        QCOMPARE(slave.readFor(kQuietWaitMs), QByteArray());
        QVERIFY(supply.waitForCommands(2, kReplyWaitMs));
        // Commands still take effect while the answers are lost.
        QCOMPARE(supply.model().energy(), 150.0f);

        faults = {};
        faults.noEcho = true;
        supply.setFaults(faults);
        QCOMPARE(exchange(slave, "REN", 1), QByteArray("EN 0 0 150 150 0\r\n"));
        slave.sendCommand("VEN10");
        QCOMPARE(slave.readFor(kQuietWaitMs), QByteArray());

        supply.setFaults({});
        QCOMPARE(exchange(slave, "VEN20", 1), QByteArray("VEN20\r\n"));
    }

    void extraLinesAndGarbageBeforeTheEcho()
    {
        SupplyFaults faults;
        faults.extraLines = 2;
        VirtualSupply supply(withFaults(faults));
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        QCOMPARE(exchange(slave, "VEN150", 3), QByteArray("READY\r\nREADY\r\nVEN150\r\n"));
        QCOMPARE(exchange(slave, "REN", 4), QByteArray("READY\r\nREADY\r\nREN\r\nEN 0 0 150 150 0\r\n"));

        faults = {};
        faults.garbage = true;
        supply.setFaults(faults);
        bool sawHighByte = false;
        bool sawControl = false;
        for (int i = 0; i < 20; ++i) {
            const QByteArray reply = exchange(slave, "REN", 2);
            const QByteArray echoLine = reply.left(reply.indexOf("\r\n"));
            QVERIFY2(echoLine.endsWith("REN") && echoLine.size() > 3, reply.toHex().constData());
            const QByteArray junk = echoLine.chopped(3);
            QVERIFY(!junk.contains('\r'));
            for (char c : junk) {
                const auto byte = static_cast<unsigned char>(c);
                QVERIFY(byte < 0x20 || byte >= 0x80);
                sawHighByte |= byte >= 0x80;
                sawControl |= byte < 0x20;
            }
            QVERIFY(reply.endsWith("\r\nEN 0 0 150 150 0\r\n"));
        }
        QVERIFY(sawHighByte && sawControl);
    }

    void runawayLineNeverEnds()
    {
        VirtualSupply supply;
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        SupplyFaults faults;
        faults.runaway = true;
        supply.setFaults(faults);
        slave.sendCommand("REN");
        const QByteArray got = slave.readBytes(5 + 3 * 4096, kReplyWaitMs * 2);
        QVERIFY(got.startsWith("REN\r\n"));
        const QByteArray endless = got.mid(5);
        QVERIFY(endless.size() >= 3 * 4096);
        QVERIFY(!endless.contains('\r'));
        QVERIFY(!endless.contains('\n'));
        // Later commands are taken in but get no echo while the line runs on.
        slave.sendCommand("VEN42");
        QVERIFY(supply.waitForCommands(2, kReplyWaitMs));
        QVERIFY(!slave.readBytes(2048, kReplyWaitMs).contains('\r'));

        // Switched off, the supply answers again once the backlog has drained.
        supply.setFaults({});
        slave.readFor(kQuietWaitMs);
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 42 42 0\r\n"));
    }

    void silentAfterSomeLines()
    {
        SupplyFaults faults;
        faults.silentAfter = 3;
        VirtualSupply supply(withFaults(faults));
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 0 0 0\r\n"));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\n"));
        slave.sendCommand("VEN1");
        QCOMPARE(slave.readFor(kQuietWaitMs), QByteArray());
        // Setting the fault again starts the count afresh.
        faults.silentAfter = 1;
        supply.setFaults(faults);
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\n"));
    }

    void hangsUpAndComesBackAtTheSameLink()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("com1"));
        SupplyFaults faults;
        faults.hangupAfter = 2;
        VirtualSupply supply(withFaults(faults));
        QVERIFY(supply.start(link));
        QCOMPARE(supply.devicePath(), link);
        const QString firstSlave = supply.slavePath();
        SlaveEnd slave;
        QVERIFY(slave.open(link));
        QCOMPARE(exchange(slave, "REN", 2), QByteArray("REN\r\nEN 0 0 0 0 0\r\n"));
        QVERIFY(supply.waitForHangup(kReplyWaitMs));
        slave.readFor(kQuietWaitMs);
        QVERIFY(slave.hungUp());
        QVERIFY(!supply.isRunning());

        faults.hangupAfter = -1;
        supply.setFaults(faults);
        QVERIFY(supply.reopen());
        QVERIFY(!supply.hasHungUp());
        QCOMPARE(QFileInfo(link).symLinkTarget(), supply.slavePath());
        SlaveEnd again;
        QVERIFY(again.open(link));
        exchange(again, "VEN5", 1);
        QCOMPARE(exchange(again, "REN", 2), QByteArray("REN\r\nEN 0 0 5 5 0\r\n"));
        Q_UNUSED(firstSlave);
    }

    void linkIsPlacedReplacedAndRemoved()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("tavrel-com1"));
        // A stale link from an earlier run is replaced.
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), link));
        {
            VirtualSupply supply;
            QVERIFY2(supply.start(link), qPrintable(supply.errorString()));
            QCOMPARE(QFileInfo(link).symLinkTarget(), supply.slavePath());
            SlaveEnd slave;
            QVERIFY(slave.open(link));
            QCOMPARE(exchange(slave, "VEN7", 1), QByteArray("VEN7\r\n"));
        }
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());

        // A file that is not a link is never overwritten.
        const QString plain = dir.filePath(QStringLiteral("plain"));
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
        file.close();
        VirtualSupply supply;
        QVERIFY(!supply.start(plain));
        QVERIFY(!supply.errorString().isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep"));
    }

    void programMayOpenAndCloseTheDeviceRepeatedly()
    {
        VirtualSupply supply;
        QVERIFY(supply.start());
        for (int i = 0; i < 20; ++i) {
            SlaveEnd slave;
            QVERIFY(slave.open(supply.devicePath()));
            const QByteArray command = "VEN" + QByteArray::number(i);
            QCOMPARE(exchange(slave, command, 1), command + "\r\n");
        }
        QCOMPARE(supply.receivedCommands().size(), 20);
    }

    void exclusiveHoldEndsWithItsHolder()
    {
        VirtualSupply supply;
        QVERIFY(supply.start());
        {
            // A serial-port layer takes the terminal exclusively and dies without letting go.
            SlaveEnd holder;
            QVERIFY(holder.open(supply.devicePath()));
            QCOMPARE(ioctl(holder.fd(), TIOCEXCL), 0);
        }
        SlaveEnd next;
        QVERIFY(next.open(supply.devicePath()));
        QTRY_VERIFY_WITH_TIMEOUT(isExclusive(next.fd()) == 0, kReplyWaitMs);
        QCOMPARE(exchange(next, "VEN1", 1), QByteArray("VEN1\r\n"));
    }

    void answersWhileTheTestThreadBlocksInASerialPort()
    {
        VirtualSupply supply;
        QVERIFY(supply.start());
        QSerialPort port(supply.devicePath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.setBaudRate(QSerialPort::Baud9600);
        port.write("REN\n\r");
        QByteArray reply;
        // This thread never returns to an event loop; the supply's own thread answers.
        while (reply.count("\r\n") < 2 && port.waitForReadyRead(kReplyWaitMs))
            reply += port.readAll();
        QCOMPARE(reply, QByteArray("REN\r\nEN 0 0 0 0 0\r\n"));
    }

    void pacesTheLineLikeTheBaudRate()
    {
        constexpr int kBaud = 9600;
        constexpr double kCharacterMs = 10.0 * 1000.0 / kBaud;
        VirtualSupply::Options options;
        options.baud = kBaud;
        VirtualSupply supply(options);
        SlaveEnd slave;
        QVERIFY(connect(supply, slave));
        const QByteArray command = "REN";
        const QByteArray expected = "REN\r\nEN 0 0 0 0 0\r\n";
        constexpr int kRounds = 10;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kRounds; ++i)
            QCOMPARE(exchange(slave, command, 2), expected);
        const double elapsedMs = double(clock.nsecsElapsed()) / 1e6;
        // The command's own characters, then the reply's, one after the other on the wire.
        const double wireMs = kRounds * double(command.size() + 2 + expected.size()) * kCharacterMs;
        qInfo("%d exchanges at %d baud: %.1f ms measured, %.1f ms wire time", kRounds, kBaud,
              elapsedMs, wireMs);
        QVERIFY(elapsedMs >= 0.8 * wireMs);
    }
};

QTEST_GUILESS_MAIN(VirtualSupplyTest)
#include "VirtualSupplyTest.moc"
