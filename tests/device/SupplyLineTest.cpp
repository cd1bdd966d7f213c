#include "LineWait.h"
#include "TestEnvironment.h"
#include "VirtualSupply.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "device/PortTable.h"
#include "device/SimulatedSupply.h"
#include "device/SupplyLine.h"

#include <QtTest>

namespace {

constexpr int kPort = 1;
constexpr int kPauseMs = 50;

// The line as the window uses it, on the virtual supply.
struct LineRig
{
    LineRig() { state.table.fill(0); }

    VirtualSupply supply;
    RecordingUserInterface ui;
    ControllerState state;
    SimulatedSupply sim;
    SupplyLine line{state, sim, ui};
};

// A job of two set-commands with a pause between them, as a ramp step holds the line.
LineTask<> twoCommands(SupplyLine &line, QString first, QString second, QStringList &results)
{
    const SupplyLine::Lease lease = co_await line.acquire();
    const qint32 a = co_await line.command(first, CommandSource::Panel);
    co_await line.pause(kPauseMs);
    const qint32 b = co_await line.command(second, CommandSource::Panel);
    results << QStringLiteral("%1=%2 %3=%4").arg(first).arg(a).arg(second).arg(b);
}

LineTask<> oneCommand(SupplyLine &line, QString command, SupplyLine::Priority priority, QStringList &results)
{
    const SupplyLine::Lease lease = co_await line.acquire(priority);
    const qint32 r = co_await line.command(command, CommandSource::Control);
    results << QStringLiteral("%1=%2").arg(command).arg(r);
}

} // namespace

class SupplyLineTest : public QObject
{
    Q_OBJECT

private slots:
    void jobsTakeTheLineInTurnAndAreNeverSplit()
    {
        LineRig rig;
        QVERIFY(rig.supply.start());
        PortTable::setPath(kPort, rig.supply.devicePath());
        QVERIFY(rig.line.open(kPort));
        QStringList results;
        QStringList sent;
        connect(&rig.line, &SupplyLine::commandSent, this,
                [&sent](const QString &command, qint32, CommandSource source) {
                    sent << command + QLatin1Char('/') + commandSourceName(source);
                });

        // The first job holds the line through its pause; the window's thread runs meanwhile.
        // An urgent job goes ahead of one that waits already, but not into the running job.
        twoCommands(rig.line, QStringLiteral("VEN1"), QStringLiteral("VEN2"), results);
        oneCommand(rig.line, QStringLiteral("GWE-1"), SupplyLine::Priority::Normal, results);
        oneCommand(rig.line, QStringLiteral("VEN3"), SupplyLine::Priority::Urgent, results);
        QVERIFY(!rig.line.isIdle());
        QVERIFY(waitForLine(rig.line));
        QCOMPARE(rig.supply.receivedCommands(),
                 (QStringList{QStringLiteral("VEN1"), QStringLiteral("VEN2"), QStringLiteral("VEN3"),
                              QStringLiteral("GWE-1")}));
        QCOMPARE(results, (QStringList{QStringLiteral("VEN1=0 VEN2=0"), QStringLiteral("VEN3=0"),
                                       QStringLiteral("GWE-1=0")}));
        const QString panel = QLatin1Char('/') + commandSourceName(CommandSource::Panel);
        const QString client = QLatin1Char('/') + commandSourceName(CommandSource::Control);
        QCOMPARE(sent, (QStringList{QStringLiteral("VEN1") + panel, QStringLiteral("VEN2") + panel,
                                    QStringLiteral("VEN3") + client, QStringLiteral("GWE-1") + client}));

        // A value beyond its limits is refused by the line itself, with the message.
        oneCommand(rig.line, QStringLiteral("VEN1001"), SupplyLine::Priority::Normal, results);
        QVERIFY(waitForLine(rig.line));
        QCOMPARE(results.last(), QStringLiteral("VEN1001=%1").arg(SerialLink::kErrBeyondLimits));
        QCOMPARE(rig.ui.messages.size(), 1);
        QCOMPARE(rig.supply.receivedCommands().size(), 4);
    }

    void shutDownEndsEveryJobAtOnce()
    {
        LineRig rig;
        SupplyFaults silent;
        silent.silent = true;
        rig.supply.setFaults(silent);
        QVERIFY(rig.supply.start());
        PortTable::setPath(kPort, rig.supply.devicePath());
        QVERIFY(rig.line.open(kPort));
        QStringList results;

        // One job waits for a reply that never comes, one for the line; the program ends.
        twoCommands(rig.line, QStringLiteral("VEN1"), QStringLiteral("VEN2"), results);
        oneCommand(rig.line, QStringLiteral("GWE-1"), SupplyLine::Priority::Normal, results);
        QVERIFY(rig.supply.waitForCommands(1, 5000));
        rig.line.shutDown();
        QVERIFY(rig.line.isIdle());
        QVERIFY(rig.line.isRetired());
        const QString notOpen = QString::number(SerialLink::kErrNotOpen);
        QCOMPARE(results, (QStringList{QStringLiteral("VEN1=%1 VEN2=%1").arg(notOpen), QStringLiteral("GWE-1=%1").arg(notOpen)}));
        QVERIFY(rig.ui.messages.isEmpty());
        QCOMPARE(rig.supply.receivedCommands(), QStringList{QStringLiteral("VEN1")});
    }

private:
    TestEnvironment m_environment;
};

QTEST_GUILESS_MAIN(SupplyLineTest)
#include "SupplyLineTest.moc"
