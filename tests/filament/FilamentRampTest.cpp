// The ramped cathode current and the pressure interlock on the device layer: a real serial link
// to the virtual supply on a pseudo-terminal, without a window.

#include "DeviceRig.h"
#include "SupplyProbe.h"
#include "TestEnvironment.h"
#include "VirtualSupply.h"

#include "device/PortTable.h"
#include "filament/FilamentRamp.h"
#include "filament/PressureInterlock.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kWaitMs = 10000;

struct RampRig
{
    RampRig() : rig(state), ramp(rig.line, state, rig.sim)
    {
        state.table.fill(0);
        ramp.setRate(0.5); // 0.125 A a step
    }
    bool open()
    {
        if (!supply.start())
            return false;
        PortTable::setPath(1, supply.devicePath());
        return rig.line.open(1);
    }
    // The commands of the ramp that runs now, once it has ended.
    QStringList finish()
    {
        QSignalSpy finished(&ramp, &FilamentRamp::finished);
        if (ramp.isRunning() && !finished.wait(kWaitMs))
            return {QStringLiteral("<still running>")};
        if (ramp.isRunning())
            return {QStringLiteral("<running again>")};
        // Every command of the ramp was exchanged, echo and all, before it reported its end.
        const QStringList commands = supply.receivedCommands();
        supply.clearLog();
        return commands;
    }

    TestEnvironment environment;
    VirtualSupply supply;
    ControllerState state;
    DeviceRig rig;
    FilamentRamp ramp;
};

QStringList values(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list.append(QStringLiteral("VCA") + QLatin1String(text));
    return list;
}

// A job that holds the line as an energy-ramp step does: VEN, a settle time, REN.
LineTask<> energyStep(SupplyLine &line, int settleMs)
{
    const SupplyLine::Lease lease = co_await line.acquire();
    co_await line.command(QStringLiteral("VEN100"), CommandSource::Ramp);
    co_await line.pause(settleMs);
    ModuleReading reading;
    co_await line.readModule(QStringLiteral("EN"), reading);
}

} // namespace

class FilamentRampTest : public QObject
{
    Q_OBJECT

private slots:
    void aTargetIsReachedInStepsOfAQuarterSecond()
    {
        RampRig r;
        QVERIFY(r.open());
        QVERIFY(r.ramp.takeRequest(std::nullopt, 2.1f, CommandSource::Panel));
        QVERIFY(r.ramp.isRunning());
        QCOMPARE(r.ramp.target(), 2.1f);
        QCOMPARE(r.finish(), values({"0.125", "0.25", "0.375", "0.5", "0.625", "0.75", "0.875", "1", "1.125", "1.25",
                                     "1.375", "1.5", "1.625", "1.75", "1.875", "2", "2.1"}));
        QCOMPARE(r.ramp.lastSent(), 2.1f);

        // Off ramps down to 0 and then switches off; on (sent by the cycle) ramps up from 0.
        r.ramp.setRate(2.0); // 0.5 A a step
        QVERIFY(r.ramp.takeRequest(false, 2.1f, CommandSource::Panel));
        QCOMPARE(r.finish(), values({"1.6", "1.1", "0.6", "0.1", "0"}) << QStringLiteral("SCAOFF"));
        QVERIFY(r.ramp.takeRequest(true, 1.2f, CommandSource::Profile));
        QCOMPARE(r.finish(), values({"0.5", "1", "1.2"}));

        // A new target during a ramp goes on from the value last sent, without a jump.
        QVERIFY(r.ramp.takeRequest(std::nullopt, 3.2f, CommandSource::Panel));
        QTRY_VERIFY(r.supply.receivedCommands().size() >= 2);
        QVERIFY(r.ramp.takeRequest(std::nullopt, 0.9f, CommandSource::Panel));
        const QStringList turned = r.finish();
        float previous = 1.2f;
        for (const QString &command : turned) {
            const float value = command.mid(3).toFloat();
            QVERIFY2(std::fabs(value - previous) <= 0.5f + 1e-6f, qPrintable(turned.join(QLatin1Char(' '))));
            previous = value;
        }
        QCOMPARE(turned.last(), QStringLiteral("VCA0.9"));

        // "On" for a filament that is on (a profile with a current) does not drop it to zero;
        // a value during a switch-off waits, the filament goes off.
        QVERIFY(r.ramp.takeRequest(true, 1.4f, CommandSource::Profile));
        QCOMPARE(r.finish(), values({"1.4"}));
        QVERIFY(r.ramp.takeRequest(false, 1.4f, CommandSource::Panel));
        QVERIFY(r.ramp.takeRequest(std::nullopt, 1.5f, CommandSource::Panel));
        QCOMPARE(r.finish(), values({"0.9", "0.4", "0"}) << QStringLiteral("SCAOFF"));
        QVERIFY(r.ramp.switchedOff());

        // Off by rate: nothing is taken over, the cycle sends as before.
        r.ramp.setRate(0.0);
        QVERIFY(!r.ramp.takeRequest(std::nullopt, 2.0f, CommandSource::Panel));
        QVERIFY(!r.ramp.takeRequest(true, 2.0f, CommandSource::Panel));
        QVERIFY(!r.ramp.isRunning());
        // Long enough for a step that was still due to go out.
        QCOMPARE(commandsBeforeProbe(r.rig.line, r.supply, 2 * FilamentRamp::kStepMs), QStringList());
    }

    void aStepWaitsForAJobThatHoldsTheLine()
    {
        RampRig r;
        QVERIFY(r.open());
        energyStep(r.rig.line, 3 * FilamentRamp::kStepMs);
        QVERIFY(r.ramp.takeRequest(std::nullopt, 0.25f, CommandSource::Panel));
        // The steps due during the settle time follow the REN, on the grid after it.
        QCOMPARE(r.finish(), QStringList({QStringLiteral("VEN100"), QStringLiteral("REN")}) + values({"0.125", "0.25"}));
    }

    void aSecondRequestOrATripSkipsTheRestOfARampDown()
    {
        RampRig r;
        QVERIFY(r.open());
        r.ramp.setPresent(2.0f);
        QSignalSpy progress(&r.ramp, &FilamentRamp::progressChanged);
        r.ramp.rampDownAndOff(CommandSource::Shutdown);
        // Looked at after each step, so that the switch-off comes right behind the second.
        while (r.supply.receivedCommands().size() < 2)
            QVERIFY(progress.wait(kWaitMs));
        r.ramp.switchOffNow(CommandSource::Interlock);
        QVERIFY(!r.ramp.isRunning());
        const QStringList commands = r.finish();
        QCOMPARE(commands.last(), QStringLiteral("SCAOFF"));
        QVERIFY(commands.size() < 6);
        // Long enough for a step that was still due to go out; nothing comes after the OFF.
        QCOMPARE(commandsBeforeProbe(r.rig.line, r.supply, 2 * FilamentRamp::kStepMs), QStringList());
    }

    void theInterlockWaitsArmsTripsAndRearms()
    {
        PressureInterlock interlock;
        QSignalSpy tripped(&interlock, &PressureInterlock::tripped);
        QCOMPARE(interlock.stateText(), QStringLiteral("off"));
        QVERIFY(interlock.allowsFilament());
        interlock.reportPressure(1e-6); // no limit: nothing trips
        QCOMPARE(tripped.size(), 0);
        interlock.setLimit(1e-5);
        QCOMPARE(interlock.state(), PressureInterlock::State::Armed); // a fresh reading was there
        interlock.setLimit(1e-7); // now above the limit
        QCOMPARE(tripped.size(), 1);

        // Armed without any reading, the stale time runs from the arming: no gauge script trips it.
        PressureInterlock unsupervised;
        QSignalSpy unsupervisedTrips(&unsupervised, &PressureInterlock::tripped);
        unsupervised.setLimit(1e-5);
        unsupervised.setStaleSeconds(0.3);
        QCOMPARE(unsupervised.stateText(), QStringLiteral("waiting"));
        QVERIFY(unsupervisedTrips.wait(kWaitMs));
        QCOMPARE(unsupervisedTrips.size(), 1);
        QCOMPARE(unsupervised.stateText(), QStringLiteral("tripped no pressure reading for 0.3 s"));

        PressureInterlock fresh;
        fresh.setLimit(1e-5);
        QCOMPARE(fresh.stateText(), QStringLiteral("waiting"));
        QVERIFY(!fresh.allowsFilament());
        fresh.reportPressure(3.2e-8);
        QCOMPARE(fresh.stateText(), QStringLiteral("armed"));
        QVERIFY(fresh.allowsFilament());

        QSignalSpy freshTrips(&fresh, &PressureInterlock::tripped);
        fresh.reportPressure(3.2e-5);
        QCOMPARE(freshTrips.size(), 1);
        QCOMPARE(freshTrips.first().at(0).toString(),
                 QStringLiteral("Interlock tripped: pressure 3.2E-05 mbar above the limit 1E-05 mbar"));
        QCOMPARE(fresh.stateText(), QStringLiteral("tripped pressure 3.2E-05 mbar"));
        QVERIFY(!fresh.allowsFilament());
        fresh.reportPressure(4e-5); // still above: no second trip, no second message
        QCOMPARE(freshTrips.size(), 1);
        QVERIFY(!fresh.canRearm());
        QVERIFY(!fresh.rearm());
        fresh.reportPressure(2e-8);
        QVERIFY(fresh.rearm());
        QCOMPARE(fresh.stateText(), QStringLiteral("armed"));

        // A gauge script that dies: after the stale time without a reading, it trips.
        fresh.setStaleSeconds(0.3);
        fresh.reportPressure(2e-8);
        QVERIFY(freshTrips.wait(kWaitMs));
        QCOMPARE(freshTrips.last().at(0).toString(), QStringLiteral("Interlock tripped: no pressure reading for 0.3 s"));
        QVERIFY(!fresh.canRearm()); // stale: re-arming needs a fresh reading
        fresh.reportPressure(2e-8);
        QVERIFY(fresh.rearm());
    }
};

QTEST_GUILESS_MAIN(FilamentRampTest)
#include "FilamentRampTest.moc"
