#include "ScriptedTerminal.h"
#include "TestEnvironment.h"
#include "VirtualSupply.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "device/DeviceProtocol.h"
#include "device/PortTable.h"
#include "device/SerialLink.h"
#include "device/SimulatedSupply.h"
#include "device/SupplyLine.h"

#include <QElapsedTimer>
#include <QSet>
#include <QtTest>

namespace {

const QString kCaption = QStringLiteral("Tavrel Power Supply [R4150-D]");
constexpr int kPort = 1;
constexpr int kWaitMs = 10000; // only a hang reaches it

// The protocol on a real line, wired as the main window wires it: a reply time-out switches
// auto refresh off.
struct ProtocolRig
{
    ProtocolRig()
    {
        state.table.fill(0);
        state.setAutoRefresh(true);
        link.setCaption(kCaption);
        QObject::connect(&link, &SerialLink::replyTimedOut, &state, [this] { state.setAutoRefresh(false); });
        link.setPortFactory([this](int number) {
            std::unique_ptr<SerialPort> made = PortTable::create(number);
            port = made.get();
            return made;
        });
    }

    bool open(const QString &path)
    {
        PortTable::setPath(kPort, path);
        return link.openPort(kPort);
    }

    // The next line waiting on the link: what the last exchange left unread.
    QString nextLine()
    {
        QString line;
        const qint32 r = link.readLine(line);
        return r == 0 ? line : QStringLiteral("<%1>").arg(r);
    }

    // Lets the rest of an abandoned reply reach the line and discards it, so that the next
    // case cannot take an old echo for its own. Ends with a reply time-out.
    void settle(VirtualSupply &supply)
    {
        constexpr int kSettleLimitMs = 5000;
        constexpr int kPollMs = 20;
        constexpr int kMaxLines = 100000;
        QElapsedTimer clock;
        clock.start();
        while (!supply.waitForRepliesSent(kPollMs) && clock.elapsed() < kSettleLimitMs)
            link.clearInput();
        // All of it is on the line now; what is still in transit arrives within a reply time-out.
        QString line;
        for (int n = 0; n < kMaxLines && link.readLine(line) == 0; ++n) {
        }
    }

    RecordingUserInterface ui;
    ControllerState state;
    SerialLink link{ui};
    DeviceProtocol protocol{link};
    SerialPort *port = nullptr; // the link's port while it is open
};

// The line as the program uses it: on its own thread, with the limits and the simulation.
struct LineRig
{
    LineRig()
    {
        state.table.fill(0);
        state.setAutoRefresh(true);
        QObject::connect(&line, &SupplyLine::replyTimedOut, &state, [this] { state.setAutoRefresh(false); });
    }

    bool open(const QString &path)
    {
        PortTable::setPath(kPort, path);
        return line.open(kPort);
    }

    RecordingUserInterface ui;
    ControllerState state;
    SimulatedSupply sim;
    SupplyLine line{state, sim, ui};
};

ModuleReading previousReading()
{
    ModuleReading reading;
    reading.Gain = 11.0f;
    reading.Offset = 22.0f;
    reading.value = 33.0f;
    reading.Umon = 44.0f;
    reading.Imon = 55.0f;
    reading.OnOff = 1;
    return reading;
}

QList<QByteArray> lines(int count, const QByteArray &text)
{
    QByteArray joined;
    for (int i = 0; i < count; ++i)
        joined += text + '\r';
    return {joined};
}

} // namespace

class DeviceProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void setParameterWaitsForItsEchoAtMostFiveLines()
    {
        ScriptedTerminal terminal;
        ProtocolRig rig;
        QVERIFY(rig.open(terminal.slavePath()));
        const QString command = QStringLiteral("VEN150");

        // Each script carries one line more than the exchange may read; that line must still
        // be waiting afterwards, which proves how many lines the exchange took.
        terminal.script({">VEN150\rLEFT\r"});
        QCOMPARE(rig.protocol.sendCommand(command), 0);
        QCOMPARE(rig.nextLine(), QStringLiteral("LEFT"));

        terminal.script({"ERR\rVEN150\rLEFT\r"});
        QCOMPARE(rig.protocol.sendCommand(command), 0);
        QCOMPARE(rig.nextLine(), QStringLiteral("LEFT"));

        // A trailing blank, a doubled prompt or another case is not the echo.
        terminal.script({"VEN150 \r>>VEN150\rven150\rVEN150\rLEFT\r"});
        QCOMPARE(rig.protocol.sendCommand(command), 0);
        QCOMPARE(rig.nextLine(), QStringLiteral("LEFT"));

        // Five unrelated lines count as accepted; the echo behind them is not read.
        terminal.script({"A\r\rREADY\r>\rVEN15\rVEN150\r"});
        QCOMPARE(rig.protocol.sendCommand(command), 0);
        QCOMPARE(rig.nextLine(), QStringLiteral("VEN150"));

        // What went out: each command once, LF then CR.
        QCOMPARE(terminal.received(), QByteArray("VEN150\n\r").repeated(4));
        QVERIFY(rig.ui.messages.isEmpty());
        QVERIFY(rig.state.autoRefresh());
    }

    void noSetValueBeyondItsLimitsLeavesTheProgram()
    {
        ScriptedTerminal terminal;
        LineRig rig;
        QVERIFY(rig.open(terminal.slavePath()));
        QStringList results;
        QObject::connect(&rig.line, &SupplyLine::commandSent, [&results](const QString &command, qint32 result) {
            results << QStringLiteral("%1=%2").arg(command).arg(result);
        });
        // Values, gains and offsets against their own limits; the screen's in volts; the
        // infinities are beyond every limit. Switch and read commands carry no value.
        for (const char *refused : {"VCA3", "VEN1000.1", "VEN-1", "VSC10001", "GWE10", "OL1-21", "OL2100.5", "GAN1e39",
                                    "VEN1e39", "VEN-1e39"})
            QCOMPARE(rig.line.send(QLatin1String(refused)), qint32(SerialLink::kErrBeyondLimits));
        QCOMPARE(terminal.received(), QByteArray());
        QCOMPARE(rig.ui.messages.size(), 10);
        QCOMPARE(rig.ui.messages[0].text,
                 QStringLiteral("Error 8041 in SerialLink:\rVCA3 lies beyond the module's limits and was not sent. "
                                "Valid range is 0 ... 2.3"));
        QCOMPARE(results.first(), QStringLiteral("VCA3=8041"));

        terminal.script({"VCA2.3\r", "VSC10000\r", "GWE-150\r", "OL2-20\r", "SCAON\r"});
        for (const char *accepted : {"VCA2.3", "VSC10000", "GWE-150", "OL2-20", "SCAON"})
            QCOMPARE(rig.line.send(QLatin1String(accepted)), 0);
        QCOMPARE(terminal.received(), QByteArray("VCA2.3\n\rVSC10000\n\rGWE-150\n\rOL2-20\n\rSCAON\n\r"));
        QCOMPARE(rig.ui.messages.size(), 10);
    }

    void setParameterWithoutReplyTimesOutAndStopsAutoRefresh()
    {
        ScriptedTerminal terminal;
        ProtocolRig rig;
        QVERIFY(rig.open(terminal.slavePath()));
        // A late line of an earlier exchange is discarded before the command goes out.
        const QByteArray late = "VEN150\r";
        terminal.send(late);
        QVERIFY(QTest::qWaitFor([&] { return rig.port->bytesWaiting() >= late.size(); }, kWaitMs));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(rig.protocol.sendCommand(QStringLiteral("VEN150")), -1);
        const qint64 elapsed = clock.elapsed();
        qInfo("unanswered set-command took %lld ms", elapsed);
        QVERIFY(elapsed >= SerialLink::kReplyTimeoutMs);
        QCOMPARE(rig.link.lamp(), SerialLink::Lamp::TimedOut);
        QVERIFY(!rig.state.autoRefresh());
        QVERIFY(rig.ui.messages.isEmpty()); // a time-out is not reported in a box
    }

    void commandCarryingLineBreakIsRefusedAndNeverSent()
    {
        VirtualSupply supply;
        QVERIFY(supply.start());
        ProtocolRig rig;
        QVERIFY(rig.open(supply.devicePath()));
        QCOMPARE(rig.protocol.sendCommand(QStringLiteral("GWE-5\rSCAON")), qint32(SerialLink::kErrControlCharacter));
        QCOMPARE(rig.ui.messages.size(), 1);
        QCOMPARE(rig.ui.messages[0].title, QStringLiteral("Writing to ") + kCaption);
        QCOMPARE(rig.protocol.sendCommand(QStringLiteral("GWE-5")), 0);
        QVERIFY(supply.waitForCommands(1, 2000));
        QCOMPARE(supply.receivedCommands(), QStringList{QStringLiteral("GWE-5")});
        QVERIFY(!supply.model().isOn(1)); // the smuggled switch command never reached the supply
    }

    void readTakesTheDataLineApart()
    {
        ScriptedTerminal terminal;
        ProtocolRig rig;
        QVERIFY(rig.open(terminal.slavePath()));
        const QString en = QStringLiteral("EN");

        ModuleReading reading = previousReading();
        reading.OnOff = 0;
        terminal.script({">REN\rEN 0 0 150 149.8 -2.5E-06\r"});
        QCOMPARE(rig.protocol.readModule(en, reading), 0);
        QCOMPARE(reading.Gain, 0.0f);
        QCOMPARE(reading.Offset, 0.0f);
        QCOMPARE(reading.value, 150.0f);
        QCOMPARE(reading.Umon, 149.8f);
        QCOMPARE(reading.Imon, -2.5e-6f);
        QCOMPARE(reading.OnOff, 1);
        QCOMPARE(terminal.received(), QByteArray("REN\n\r"));

        // "off" in any case: only the switch state changes.
        reading = previousReading();
        terminal.script({"RCA\rCA OFF\r"});
        QCOMPARE(rig.protocol.readModule(QStringLiteral("CA"), reading), 0);
        QCOMPARE(reading.OnOff, 0);
        QCOMPARE(reading.Gain, 11.0f);
        QCOMPARE(reading.Imon, 55.0f);

        // A short line: the fields it does not reach keep their values, a sixth is ignored.
        reading = previousReading();
        terminal.script({"REN\rEN 1 2 3\r"});
        QCOMPARE(rig.protocol.readModule(en, reading), 0);
        QCOMPARE(reading.Gain, 1.0f);
        QCOMPARE(reading.Offset, 2.0f);
        QCOMPARE(reading.value, 33.0f);
        QCOMPARE(reading.Umon, 44.0f);

        // A comma is a decimal point; two blanks make an empty field, read as 0.
        reading = previousReading();
        terminal.script({"REN\rEN 1,5  3 4 5\r"});
        QCOMPARE(rig.protocol.readModule(en, reading), 0);
        QCOMPARE(reading.Gain, 1.5f);
        QCOMPARE(reading.Offset, 0.0f);
        QCOMPARE(reading.value, 3.0f);
        QCOMPARE(reading.Umon, 4.0f);
        QCOMPARE(reading.Imon, 5.0f);

        // Fewer than three characters, or no blank at all: nothing changes, still success.
        // (a line of three or more that is not "off" still marks the module on).
        for (const QByteArray &data : {QByteArray("EN"), QByteArray("garbage")}) {
            reading = previousReading();
            reading.OnOff = 0;
            terminal.script({"REN\r" + data + '\r'});
            QCOMPARE(rig.protocol.readModule(en, reading), 0);
            QCOMPARE(reading.Gain, 11.0f);
            QCOMPARE(reading.Imon, 55.0f);
            QCOMPARE(reading.OnOff, data.size() < 3 ? 0 : 1);
        }
        QVERIFY(rig.ui.messages.isEmpty());
        QVERIFY(rig.state.autoRefresh());
    }

    void readEchoIsRecognisedBySuffixWithinSixteenSkippedLines()
    {
        ScriptedTerminal terminal;
        ProtocolRig rig;
        QVERIFY(rig.open(terminal.slavePath()));
        ModuleReading reading = previousReading();

        // Lines that merely contain the command are skipped; one that ends with it is the echo.
        terminal.script({"RENX\rREN \r\x01junkREN\rEN 1 2 3 4 5\r"});
        QCOMPARE(rig.protocol.readModule(QStringLiteral("EN"), reading), 0);
        QCOMPARE(reading.Imon, 5.0f);

        // Sixteen lines before the echo are tolerated ...
        reading = previousReading();
        terminal.script({lines(DeviceProtocol::kMaxReadSkipLines, "READY").first() + "REN\rEN 7 7 7 7 7\r"});
        QCOMPARE(rig.protocol.readModule(QStringLiteral("EN"), reading), 0);
        QCOMPARE(reading.Gain, 7.0f);
        QVERIFY(rig.state.autoRefresh());

        // ... one more ends the read as a time-out, and the echo behind them stays unread.
        reading = previousReading();
        terminal.script({lines(DeviceProtocol::kMaxReadSkipLines + 1, "READY").first() + "REN\rEN 7 7 7 7 7\r"});
        QCOMPARE(rig.protocol.readModule(QStringLiteral("EN"), reading), -1);
        QCOMPARE(rig.link.lamp(), SerialLink::Lamp::TimedOut);
        QVERIFY(!rig.state.autoRefresh());
        QCOMPARE(reading.Gain, 11.0f);
        QCOMPARE(rig.nextLine(), QStringLiteral("REN"));
        QVERIFY(rig.ui.messages.isEmpty());
    }

    void supplyThatNeverEchoesCannotHoldTheRead()
    {
        VirtualSupply::Options options;
        options.faults.extraLines = 100; // a hundred junk lines before every echo
        VirtualSupply supply(options);
        QVERIFY(supply.start());
        ProtocolRig rig;
        QVERIFY(rig.open(supply.devicePath()));
        ModuleReading reading = previousReading();
        QCOMPARE(rig.protocol.readModule(QStringLiteral("EN"), reading), -1);
        QCOMPARE(rig.link.lamp(), SerialLink::Lamp::TimedOut);
        QVERIFY(!rig.state.autoRefresh());
        QCOMPARE(reading.value, 33.0f);

        // A supply that answers with data but never echoes: each line is skipped, then silence.
        SupplyFaults faults;
        faults.noEcho = true;
        supply.setFaults(faults);
        rig.settle(supply);
        rig.state.setAutoRefresh(true);
        QCOMPARE(rig.protocol.readModule(QStringLiteral("EN"), reading), -1);
        QVERIFY(!rig.state.autoRefresh());

        // A line without end after the echo is bounded too.
        rig.settle(supply);
        faults = {};
        faults.runaway = true;
        supply.setFaults(faults);
        rig.state.setAutoRefresh(true);
        QCOMPARE(rig.protocol.readModule(QStringLiteral("EN"), reading), -1);
        QCOMPARE(rig.link.lamp(), SerialLink::Lamp::TimedOut);
        QVERIFY(!rig.state.autoRefresh());
        QCOMPARE(reading.value, 33.0f);
        QVERIFY(rig.ui.messages.isEmpty());
    }

    void simulationWritesItsOwnAnswerToTheLine()
    {
        VirtualSupply supply;
        QVERIFY(supply.start());
        LineRig rig;
        QVERIFY(rig.open(supply.devicePath()));
        rig.state.simulationMode = true;
        rig.sim.state().SimGain[3] = 50.0f;
        rig.sim.state().SimOffset[3] = -10.0f;
        rig.sim.state().SimValue[3] = 65.0f;
        rig.sim.state().SimUMon[3] = 65.0f;
        rig.sim.state().SimIMon[3] = 0.0f;
        ModuleReading reading;
        rig.line.read(QStringLiteral("WE"), reading);
        rig.sim.state().SimSwitch[2] = 1;
        rig.line.read(QStringLiteral("SC"), reading);
        QVERIFY(supply.waitForCommands(4, 3000));
        QCOMPARE(supply.receivedCommands(),
                 (QStringList{QStringLiteral("RWE"), QStringLiteral("WE 50 -10 65 65 0"), QStringLiteral("RSC"),
                              QStringLiteral("SC off")}));
        QCOMPARE(rig.sim.state().SimGain[2], -100.0f);
    }

    void simulationReadsItsAnswerBackOverTheLoopbackLine()
    {
        LineRig rig;
        QVERIFY(rig.open(PortTable::kLoopback));
        rig.state.simulationMode = true;
        rig.sim.state().SimGain[3] = 50.0f;
        rig.sim.state().SimOffset[3] = -10.0f;
        rig.sim.state().SimValue[3] = 65.0f;
        rig.sim.state().SimUMon[3] = 65.0f;
        ModuleReading reading = previousReading();
        QCOMPARE(rig.line.read(QStringLiteral("WE"), reading), 0);
        QCOMPARE(reading.Gain, 50.0f);
        QCOMPARE(reading.Offset, -10.0f);
        QCOMPARE(reading.value, 65.0f);
        QCOMPARE(reading.Umon, 65.0f);
        QCOMPARE(reading.Imon, 0.0f);
        QCOMPARE(reading.OnOff, 1);

        // A switched-off screen answers "SC off"; its numbers stay as they were.
        rig.sim.state().SimSwitch[2] = 1;
        rig.sim.state().SimOffset[2] = 4000.0f;
        reading = previousReading();
        QCOMPARE(rig.line.read(QStringLiteral("SC"), reading), 0);
        QCOMPARE(reading.OnOff, 0);
        QCOMPARE(reading.Offset, 22.0f);
        QCOMPARE(rig.sim.state().SimGain[2], -100.0f);

        // The filament code of the other model reads module 1.
        rig.sim.state().SimValue[1] = 2.3f;
        QCOMPARE(rig.line.read(QStringLiteral("FI"), reading), 0);
        QCOMPARE(reading.value, 2.3f);

        // Fresh beam and anode currents at every read, within their ranges.
        QSet<float> beam;
        QSet<float> anode;
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(rig.line.read(QStringLiteral("EN"), reading), 0);
            QVERIFY2(reading.Imon >= -1e-5f && reading.Imon <= 0.0f, qPrintable(QString::number(reading.Imon)));
            QCOMPARE(reading.Imon, rig.sim.state().SimIMon[0]);
            beam.insert(reading.Imon);
            QCOMPARE(rig.line.read(QStringLiteral("AN"), reading), 0);
            QVERIFY2(reading.Imon >= 0.0f && reading.Imon <= 0.01f, qPrintable(QString::number(reading.Imon)));
            anode.insert(reading.Imon);
        }
        QVERIFY(beam.size() > 1);
        QVERIFY(anode.size() > 1);
        QVERIFY(rig.ui.messages.isEmpty());
        QVERIFY(rig.state.autoRefresh());
    }

    void withoutReturnPathSimulationTimesOut()
    {
        // Simulation needs the line to return what it sends; a silent far end costs the time-out.
        ScriptedTerminal terminal;
        LineRig rig;
        QVERIFY(rig.open(terminal.slavePath()));
        rig.state.simulationMode = true;
        ModuleReading reading = previousReading();
        QCOMPARE(rig.line.read(QStringLiteral("EN"), reading), -1);
        QVERIFY(!rig.state.autoRefresh());
        QVERIFY(terminal.received().startsWith("REN\n\rEN "));
    }

private:
    TestEnvironment m_environment;
};

QTEST_GUILESS_MAIN(DeviceProtocolTest)
#include "DeviceProtocolTest.moc"
