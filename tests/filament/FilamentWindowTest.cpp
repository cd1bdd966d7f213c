// Filament care in the real window: the refresh cycle hands module 1 to the ramp, the interlock
// answers a gauge script on the real control link, the shut-down ramps down.

#include "LinkTestClient.h"
#include "WindowFixture.h"

#include "core/RuntimeDirectory.h"
#include "core/SettingsStore.h"
#include "filament/FilamentDialog.h"
#include "panel/IndicatorLamp.h"

#include <QPushButton>
#include <QTimer>
#include <QSignalSpy>
#include <QtTest>

#include <utility>

namespace {

constexpr int kWaitMs = 10000;

void store(const char *section, const char *key, const char *value)
{
    SettingsStore::writeText(QLatin1String(section), QLatin1String(key), QLatin1String(value));
}

} // namespace

class FilamentWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void typedCurrentRampsAndTheShutDownRampsDown();
    void aTripSwitchesOffAtOnceAndKeepsTheFilamentOff();
    void aSignalDuringTheRampDownSwitchesOffAtOnce();
    void aFilamentFoundOnIsSupervisedWithoutAnyReading();
};

void FilamentWindowTest::typedCurrentRampsAndTheShutDownRampsDown()
{
    WindowFixture fixture;
    store("Filament", "RampRate", "0.5");
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    window.state().setAutoRefresh(false);
    FilamentRamp &ramp = window.filament().ramp();
    QCOMPARE(ramp.rate(), 0.5);

    // Typed 2.1: 17 steps on the quarter-second grid, the field showing the target meanwhile.
    const PanelField cathode = PanelField::value(Module::kCathode);
    window.model().setFieldText(cathode, QStringLiteral("2.1"));
    window.model().markField(cathode);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QVERIFY(ramp.isRunning());
    QTRY_VERIFY(window.panel().filamentRampText().startsWith(QStringLiteral("Ramp ")));
    QVERIFY(window.panel().filamentRampText().endsWith(QStringLiteral("\u2192 2.10 A")));
    LinkTestClient client;
    QVERIFY(client.open(RuntimeDirectory::filePath(QStringLiteral("Control"))));
    QVERIFY(client.command(QStringLiteral("REQUEST FilamentRamp")).endsWith(QStringLiteral(" 2.1")));
    QCOMPARE(window.model().fieldText(cathode), QStringLiteral("2.1"));
    QSignalSpy finished(&ramp, &FilamentRamp::finished);
    QVERIFY(finished.wait(kWaitMs));
    const QStringList commands = fixture.commands();
    QCOMPARE(commands.size(), 17);
    QCOMPARE(commands.first(), QStringLiteral("VCA0.125"));
    QCOMPARE(commands.last(), QStringLiteral("VCA2.1"));
    QCOMPARE(window.panel().filamentRampText(), QString());
    QCOMPARE(client.command(QStringLiteral("REQUEST FilamentRamp")), QStringLiteral("DATA idle"));
    client.close();
    QVERIFY(QTest::qWaitFor([&] { return window.controlLink().exitEnabled(); }, kWaitMs));

    // The shut-down's "Set Filament Off" ramps down behind a progress bar, then the energy.
    fixture.supply.clearLog();
    window.shutDown().setDialogRunner([] {
        ShutDownSequence::DialogResult result;
        result.choices.filament = true;
        result.choices.energy = true;
        return result;
    });
    QVERIFY(closeAndWait(window));
    const QStringList down = fixture.commands(19);
    QCOMPARE(down.size(), 19);
    QCOMPARE(down.mid(16), (QStringList{QStringLiteral("VCA0"), QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
}

void FilamentWindowTest::aTripSwitchesOffAtOnceAndKeepsTheFilamentOff()
{
    WindowFixture fixture;
    store("Interlock", "PressureLimit", "1E-05");
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    window.state().setAutoRefresh(false);
    QVERIFY(window.panel().interlockLamp().isVisibleTo(&window));
    LinkTestClient client;
    QVERIFY(client.open(RuntimeDirectory::filePath(QStringLiteral("Control"))));
    QCOMPARE(client.command(QStringLiteral("REQUEST Interlock")), QStringLiteral("DATA waiting"));

    // Waiting: "on" is refused with a beep and not sent.
    auto *on = window.findChild<QPushButton *>(QStringLiteral("Command_On(1)"));
    QTest::mouseClick(on, Qt::LeftButton);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.ui.beeps, 1);
    QCOMPARE(fixture.commands(), QStringList());

    QCOMPARE(client.command(QStringLiteral("POKE Pressure 3.2E-08")), QStringLiteral("OK"));
    QCOMPARE(client.command(QStringLiteral("REQUEST Interlock")), QStringLiteral("DATA armed"));
    QCOMPARE(client.command(QStringLiteral("REQUEST Pressure")), QStringLiteral("DATA 3.2E-08"));
    QTest::mouseClick(on, Qt::LeftButton);
    window.model().setFieldText(PanelField::value(Module::kEnergy), QStringLiteral("150"));
    window.model().markField(PanelField::value(Module::kEnergy));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commands(2), (QStringList{QStringLiteral("VEN150"), QStringLiteral("SCAON")}));
    fixture.supply.clearLog();

    // Above the limit: filament off and energy zero before the answer, one message, a red lamp;
    // a pending energy does not go out afterwards.
    window.model().setFieldText(PanelField::value(Module::kEnergy), QStringLiteral("200"));
    window.model().markField(PanelField::value(Module::kEnergy));
    QCOMPARE(client.command(QStringLiteral("POKE Pressure 3,2E-05")), QStringLiteral("OK"));
    QCOMPARE(fixture.supply.receivedCommands(), (QStringList{QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
    QTRY_COMPARE(fixture.ui.messages.size(), 1); // after the answer, from the event loop
    QCOMPARE(fixture.ui.messages.first().text,
             QStringLiteral("Interlock tripped: pressure 3.2E-05 mbar above the limit 1E-05 mbar"));
    QCOMPARE(window.panel().interlockLamp().color(), QColor(255, 0, 0));
    QCOMPARE(client.command(QStringLiteral("REQUEST Interlock")), QStringLiteral("DATA tripped pressure 3.2E-05 mbar"));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QTest::mouseClick(on, Qt::LeftButton);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands().size(), 2);
    QCOMPARE(fixture.ui.beeps, 2);

    // Re-arm only with a fresh reading below the limit, from the dialog.
    window.findChild<QAction *>(QStringLiteral("mnuFilament"))->trigger();
    FilamentDialog &dialog = window.filament().dialog();
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.rearmButton().isEnabled());
    QCOMPARE(client.command(QStringLiteral("POKE Pressure 2E-08")), QStringLiteral("OK"));
    QTRY_VERIFY(dialog.rearmButton().isEnabled());
    QTest::mouseClick(&dialog.rearmButton(), Qt::LeftButton);
    QCOMPARE(dialog.stateText(), QStringLiteral("armed"));
    QTest::mouseClick(on, Qt::LeftButton);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commands(3).last(), QStringLiteral("SCAON"));
}

void FilamentWindowTest::aSignalDuringTheRampDownSwitchesOffAtOnce()
{
    WindowFixture fixture;
    store("Filament", "RampRate", "0.5");
    store("ShutDown", "Filament", "1");
    store("ShutDown", "Energy", "1");
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    window.state().setAutoRefresh(false);
    window.filament().ramp().setPresent(2.0f);
    window.filament().ramp().setFilamentOn(true);
    window.shutDown().setDialogRunner([] {
        ShutDownSequence::DialogResult result;
        result.choices.filament = true;
        return result;
    });
    // The signal comes once the second step is out, from the event loop as a real one does;
    // the next step is a whole step time away.
    bool signalled = false;
    connect(&window.filament().ramp(), &FilamentRamp::progressChanged, &window, [&](bool running, float lastSent) {
        if (running && lastSent <= 1.75f && !std::exchange(signalled, true))
            QTimer::singleShot(0, &window, [&window] { window.unloadForSystem(); });
    });
    QVERIFY(closeAndWait(window));
    QVERIFY(window.isUnloaded());
    QVERIFY(signalled);
    QVERIFY(!window.filament().ramp().isRunning());
    QTest::qWait(2 * FilamentRamp::kStepMs); // a step still due would have gone out
    // Off at once: no step after the signal, the filament's switch-off and the energy's zero.
    QCOMPARE(fixture.supply.receivedCommands(),
             (QStringList{QStringLiteral("VCA1.875"), QStringLiteral("VCA1.75"), QStringLiteral("SCAOFF"),
                          QStringLiteral("VEN0")}));
}

void FilamentWindowTest::aFilamentFoundOnIsSupervisedWithoutAnyReading()
{
    // A supply in use at start-up, a limit in the settings, and no gauge script at all.
    WindowFixture fixture;
    fixture.supply.updateModel([](InstrumentModel &model) { model.applyRunningState(); });
    store("Interlock", "PressureLimit", "1E-05");
    store("Interlock", "StaleSeconds", "0.5");
    QVERIFY(fixture.start());
    MainWindow &window = *fixture.window;
    window.timer().stop();
    QVERIFY(QTest::qWaitFor([&] { return fixture.supply.receivedCommands().contains(QStringLiteral("VEN0")); }, kWaitMs));
    const QStringList commands = fixture.supply.receivedCommands();
    const qsizetype off = commands.indexOf(QStringLiteral("SCAOFF"));
    QVERIFY2(off >= 0 && commands.indexOf(QStringLiteral("VEN0")) == off + 1, qPrintable(commands.join(QLatin1Char(' '))));
    QTRY_COMPARE(fixture.ui.messages.size(), 1);
    QCOMPARE(fixture.ui.messages.first().text, QStringLiteral("Interlock tripped: no pressure reading for 0.5 s"));
    QCOMPARE(window.panel().interlockLamp().color(), QColor(255, 0, 0));
    QCOMPARE(window.filament().interlock().stateText(), QStringLiteral("tripped no pressure reading for 0.5 s"));
}

QTEST_MAIN(FilamentWindowTest)
#include "FilamentWindowTest.moc"
