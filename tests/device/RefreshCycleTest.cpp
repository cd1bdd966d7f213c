#include "DeviceRig.h"
#include "WindowFixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QtTest>

namespace {

// A quiet start (WindowFixture::startQuiet) that also forgets what the start-up told the
// operator.
bool startQuiet(WindowFixture &fixture, const QString &commandLine = QStringLiteral("/COM1"))
{
    if (!fixture.startQuiet(commandLine))
        return false;
    fixture.ui.clear();
    return true;
}

void mark(MainWindow &window, PanelField field, const QString &text)
{
    window.model().setFieldText(field, text);
    window.model().markField(field);
}

QStringList pendingTags(const MainWindow &window)
{
    QStringList tags;
    for (const PanelField &field : kPanelFields)
        if (window.model().isMarked(field))
            tags << field.controlName();
    for (int module : {1, 2})
        if (window.model().switchRequest(module) != SupplyModel::SwitchRequest::None)
            tags << QStringLiteral("Label_OnOff(%1)").arg(module);
    return tags;
}

QString labelText(const MainWindow &window, const QString &name)
{
    const auto *label = window.findChild<QLabel *>(name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

QAction *action(const MainWindow &window, const char *name)
{
    return window.findChild<QAction *>(QLatin1String(name));
}

} // namespace

class RefreshCycleTest : public QObject
{
    Q_OBJECT

private slots:
    void pendingMarksGoOutInTheirFixedOrder()
    {
        // The device layer alone, on a plain-string panel: no window is needed for the order.
        TestEnvironment environment;
        VirtualSupply supply;
        QVERIFY(supply.start());
        PortTable::setPath(1, supply.devicePath());
        ControllerState state;
        state.table.fill(state.powerSupply());
        state.commPort = 1;
        DeviceRig rig(state);
        RefreshCycle cycle(rig.model, rig.line, rig.readBack, state, rig.sim, rig.ui);
        QVERIFY(finished(rig.connection.connectSupply()));
        QVERIFY(waitForLine(rig.line));
        state.setAutoRefresh(false);
        supply.clearLog();
        auto mark = [&rig](PanelField field, const QString &text) {
            rig.model.setFieldText(field, text);
            rig.model.markField(field);
        };

        // Marked in an order unlike the cycle's, to see that the cycle imposes its own.
        mark(PanelField::offset(7), QStringLiteral("-5"));
        mark(PanelField::gain(6), QStringLiteral("1,5"));
        rig.model.requestSwitch(2, SupplyModel::SwitchRequest::Off);
        mark(PanelField::value(2), QStringLiteral("6.5"));
        mark(PanelField::gain(3), QStringLiteral("-20"));
        mark(PanelField::value(1), QStringLiteral("2,3"));
        rig.model.requestSwitch(1, SupplyModel::SwitchRequest::On);
        mark(PanelField::value(0), QStringLiteral("150"));
        cycle.runCycle();
        QVERIFY(waitForLine(rig.line));

        // Gains and offsets go out as typed, the comma included; module 6 has no offset command.
        const QStringList expected = {QStringLiteral("VEN150"), QStringLiteral("SCAON"),  QStringLiteral("VCA2.3"),
                                      QStringLiteral("SSCOFF"), QStringLiteral("VSC6500"), QStringLiteral("GWE-20"),
                                      QStringLiteral("GSU1,5"), QStringLiteral("OL2-5")};
        QVERIFY(supply.waitForCommands(expected.size(), 3000));
        QCOMPARE(supply.receivedCommands(), expected);
        for (const PanelField &field : kPanelFields)
            QVERIFY2(!rig.model.isMarked(field), qPrintable(field.controlName()));
        QVERIFY(rig.model.switchRequest(1) == SupplyModel::SwitchRequest::None && rig.model.switchRequest(2) == SupplyModel::SwitchRequest::None);
        QVERIFY(rig.ui.messages.isEmpty());
        QCOMPARE(supply.model().energy(), 150.0f);
        QCOMPARE(supply.model().gain(6), 1.5f);

        // A second cycle has nothing left to send.
        supply.clearLog();
        cycle.runCycle();
        QVERIFY(waitForLine(rig.line));
        QCOMPARE(commandsBeforeProbe(rig.line, supply), QStringList());
        rig.line.close();
        supply.stop();
    }

    void numbersFollowTheLocaleOnlyWhereTheyShould()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        window.state().setAutoRefresh(false);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        mark(window, PanelField::value(0), QStringLiteral("150,5"));
        mark(window, PanelField::value(1), QStringLiteral("2.25"));
        mark(window, PanelField::value(2), QStringLiteral("6,5"));
        mark(window, PanelField::gain(5), QStringLiteral("1.5"));
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QLocale::setDefault(QLocale::c());
        // Energy with the user's separator; current and screen always with a point.
        const QStringList expected = {QStringLiteral("VEN150,5"), QStringLiteral("VCA2.25"),
                                      QStringLiteral("VSC6500"), QStringLiteral("GL11.5")};
        QCOMPARE(fixture.commands(expected.size()), expected);
    }

    void theOtherModelSwitchesTheFilament()
    {
        VirtualSupply::Options options;
        options.model = InstrumentModel::kModelTavrel;
        WindowFixture fixture(options);
        QVERIFY(startQuiet(fixture, QStringLiteral("/COM1 /TAVREL")));
        MainWindow &window = *fixture.window;
        window.state().setAutoRefresh(false);
        mark(window, PanelField::value(1), QStringLiteral("2,3"));
        window.model().requestSwitch(1, SupplyModel::SwitchRequest::On);
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        const QStringList expected = {QStringLiteral("SFION"), QStringLiteral("VFI2.3")};
        QCOMPARE(fixture.commands(expected.size()), expected);
        QVERIFY(fixture.supply.model().isOn(1));
    }

    void withoutMarksTheCycleOnlyReadsWhileAutoRefreshIsOn()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(80.0f); });

        window.state().setAutoRefresh(false);
        const QString monitorBefore = labelText(window, QStringLiteral("Label_UMon(0)"));
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(0)")), monitorBefore);

        window.state().setAutoRefresh(true);
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(fixture.commands(8), readPass());
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(0)")), QStringLiteral("80.0 "));
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("0")); // fields stay
    }

    void aTickDuringARunningCycleDoesNothing()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        RefreshCycle &cycle = window.refreshCycle();
        window.state().setAutoRefresh(true);
        mark(window, PanelField::value(0), QStringLiteral("150"));

        // While its first command is on the line: note the busy flag, mark a field the cycle has
        // not passed yet and start the cycle again as a tick would. Meanwhile the real timer
        // ticks as fast as it can, until the cycle gives the line back.
        bool busyInYield = false;
        QTimer::singleShot(0, &window, [&] {
            busyInYield = cycle.isBusy();
            mark(window, PanelField::gain(3), QStringLiteral("-80"));
            cycle.runCycle();
        });
        window.timer().setInterval(0);
        window.timer().start();
        const QMetaObject::Connection stopTicks =
            QObject::connect(&window.line(), &SupplyLine::idle, &window.timer(), &QTimer::stop);
        cycle.runCycle();
        QVERIFY(waitForLine(window.line()));
        QObject::disconnect(stopTicks);
        window.timer().stop();
        window.timer().setInterval(MainWindow::kTimerIntervalMs);

        QVERIFY(busyInYield);
        QVERIFY(!cycle.isBusy());
        QStringList expected = {QStringLiteral("VEN150"), QStringLiteral("GWE-80")};
        expected << readPass();
        QCOMPARE(fixture.commands(expected.size()), expected);
        QCOMPARE(fixture.commandsBeforeProbe(), expected);
        QCOMPARE(pendingTags(window), QStringList());
    }

    void marksAreClearedEvenWhenTheSupplyIsSilent()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        window.state().setAutoRefresh(true);
        SupplyFaults faults;
        faults.silent = true;
        fixture.supply.setFaults(faults);
        mark(window, PanelField::value(0), QStringLiteral("200"));
        mark(window, PanelField::offset(4), QStringLiteral("7"));
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));

        // Both commands were tried; the first time-out switched auto refresh off, so no read.
        QCOMPARE(fixture.commands(2), (QStringList{QStringLiteral("VEN200"), QStringLiteral("OAN7")}));
        QCOMPARE(pendingTags(window), QStringList());
        QVERIFY(!window.state().autoRefresh());
        QVERIFY(!action(window, "mnuAutoRefresh")->isChecked());
        QVERIFY(fixture.ui.messages.isEmpty());

        // A failed command is not repeated once the supply answers again.
        fixture.supply.setFaults({});
        fixture.supply.clearLog();
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
    }

    void simulationKeepsTheModelInStep()
    {
        WindowFixture fixture;
        PortTable::setPath(2, PortTable::kLoopback);
        QVERIFY(startQuiet(fixture, QStringLiteral("/SIMULATION /COM2")));
        MainWindow &window = *fixture.window;
        SimulatedState &sim = window.simulation().state();
        QVERIFY(window.findChild<QLabel *>(QStringLiteral("Label_Simulation"))->isVisibleTo(&window));
        window.state().setAutoRefresh(false);

        sim.SimGain[3] = -20.0f;
        sim.SimOffset[3] = 5.0f;
        mark(window, PanelField::value(0), QStringLiteral("100"));
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(sim.SimValue[0], 100.0f);
        QCOMPARE(sim.SimUMon[0], 100.0f);
        QCOMPARE(sim.SimValue[3], -15.0f);
        QCOMPARE(sim.SimUMon[3], -15.0f);

        // The screen follows the energy in the field, marked or not; a gain against it too.
        mark(window, PanelField::value(2), QStringLiteral("2"));
        mark(window, PanelField::gain(4), QStringLiteral("50"));
        mark(window, PanelField::value(1), QStringLiteral("2,1"));
        window.model().requestSwitch(2, SupplyModel::SwitchRequest::Off);
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(sim.SimGain[2], -100.0f);
        QCOMPARE(sim.SimOffset[2], 2000.0f);
        QCOMPARE(sim.SimValue[2], 1900.0f);
        QCOMPARE(sim.SimUMon[2], 1900.0f);
        QCOMPARE(sim.SimValue[4], 50.0f);
        QCOMPARE(sim.SimValue[1], 2.1f);
        QCOMPARE(sim.SimIMon[1], 2.1f);
        QCOMPARE(sim.SimSwitch[2], qint16(1));
        window.model().requestSwitch(2, SupplyModel::SwitchRequest::On);
        window.model().requestSwitch(1, SupplyModel::SwitchRequest::Off);
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(sim.SimSwitch[2], qint16(0));
        QCOMPARE(sim.SimSwitch[1], qint16(1));

        // The read-back over the loopback line shows the model.
        window.state().setAutoRefresh(true);
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(3)")), QStringLiteral("15 "));
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(4)")), QStringLiteral("50 "));
        QCOMPARE(labelText(window, QStringLiteral("Label_IMon(1)")), QStringLiteral("0.00 ")); // switched off
        QCOMPARE(window.readBack().readings()[2].Offset, 2000.0f);
        QVERIFY(fixture.ui.messages.isEmpty());
        QVERIFY(window.state().autoRefresh());
    }

    void simulationSwitchedInAYieldCountsFromThere()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        SimulatedState &sim = window.simulation().state();
        window.state().setAutoRefresh(false);
        QCOMPARE(window.state().simulationMode, qint16(0));

        // Simulation is switched on in the first yield (after the energy step): the gain sent
        // later in the same cycle is modelled, against the energy of that first step (0 here).
        window.model().setFieldText(PanelField::value(0), QStringLiteral("100"));
        sim.SimOffset[3] = 5.0f;
        mark(window, PanelField::gain(3), QStringLiteral("-20"));
        QTimer::singleShot(0, &window, [&] { window.toggleSimulation(); });
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QVERIFY(window.state().simulationMode);
        QCOMPARE(fixture.commands(1), QStringList{QStringLiteral("GWE-20")});
        QCOMPARE(sim.SimGain[3], -20.0f);
        QCOMPARE(sim.SimValue[3], 5.0f);
        QCOMPARE(sim.SimUMon[3], 5.0f);

        // Switched off again in the first yield: the offset sent later leaves the model alone.
        fixture.supply.clearLog();
        mark(window, PanelField::offset(3), QStringLiteral("-7"));
        QTimer::singleShot(0, &window, [&] { window.toggleSimulation(); });
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(window.state().simulationMode, qint16(0));
        QCOMPARE(fixture.commands(1), QStringList{QStringLiteral("OWE-7")});
        QCOMPARE(sim.SimOffset[3], 5.0f);
        QCOMPARE(sim.SimValue[3], 5.0f);
    }

    void refreshMenuCommands()
    {
        WindowFixture fixture;
        fixture.supply.updateModel([](InstrumentModel &model) {
            model.setEnergy(150.0f);
            model.setGain(3, 80.0f);
        });
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;

        // "Refresh All" overwrites the fields with what the supply reports and keeps the marks.
        mark(window, PanelField::value(0), QStringLiteral("999"));
        mark(window, PanelField::gain(3), QStringLiteral("12"));
        action(window, "mnuRefreshAll")->trigger();
        QCOMPARE(fixture.commands(8), readPass());
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("150"));
        QCOMPARE(window.model().fieldText(PanelField::gain(3)), QStringLiteral("80"));
        QVERIFY(window.model().isMarked(PanelField::gain(3)));

        // "Auto Refresh" toggles flag and check mark and runs nothing.
        QAction *autoRefresh = action(window, "mnuAutoRefresh");
        QVERIFY(window.state().autoRefresh());
        QVERIFY(autoRefresh->isChecked());
        fixture.supply.clearLog();
        autoRefresh->trigger();
        QVERIFY(!autoRefresh->isChecked());
        QVERIFY(!window.state().autoRefresh());
        autoRefresh->trigger();
        QVERIFY(autoRefresh->isChecked());
        QVERIFY(window.state().autoRefresh());
        QCOMPARE(fixture.commandsBeforeProbe(), QStringList());

        // Opening the Refresh menu sets the check mark from the flag.
        window.state().autoRefreshFlag = false; // stored directly, the mark not told
        QVERIFY(autoRefresh->isChecked());
        emit window.findChild<QMenu *>(QStringLiteral("mnuRefresh"))->aboutToShow();
        QVERIFY(!autoRefresh->isChecked());
    }
};

QTEST_MAIN(RefreshCycleTest)
#include "RefreshCycleTest.moc"
