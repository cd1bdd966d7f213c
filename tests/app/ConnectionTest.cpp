#include "WindowFixture.h"

#include "core/SettingsStore.h"
#include "panel/SpinControl.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {

// Every element that follows the connection state, with its enabled state; the spin controls
// of the set values of modules 1 and 2 are left out, as they follow the switch state too.
QStringList connectionElements(const MainWindow &window, bool includeSwitchedSpins)
{
    QStringList states;
    auto note = [&](const QString &name, bool enabled) {
        states << name + (enabled ? QStringLiteral(" on") : QStringLiteral(" off"));
    };
    for (const char *name : {"mnuOpen", "mnuSave", "mnuSaveAs"})
        note(QLatin1String(name), window.findChild<QAction *>(QLatin1String(name))->isEnabled());
    note(QStringLiteral("mnuRefresh"), window.findChild<QMenu *>(QStringLiteral("mnuRefresh"))->menuAction()->isEnabled());
    for (const PanelField &field : kPanelFields) {
        note(field.controlName(), window.model().isEditable());
        QString spinName = field.controlName().mid(QStringLiteral("Text_").size());
        spinName = QStringLiteral("Picture_") + spinName.left(1).toLower() + spinName.mid(1);
        const bool switched = field.kind == PanelField::Kind::Value && field.index > 0;
        if (switched && !includeSwitchedSpins)
            continue;
        note(spinName, window.findChild<SpinControl *>(spinName)->isEnabled());
    }
    for (const char *name : {"Command_On(1)", "Command_On(2)", "Command_Off(1)", "Command_Off(2)"})
        note(QLatin1String(name), window.findChild<QPushButton *>(QLatin1String(name))->isEnabled());
    note(QStringLiteral("DA_set_voltage"), window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->isEnabled());
    note(QStringLiteral("Timer1"), const_cast<MainWindow &>(window).timer().isActive());
    return states;
}

QStringList allIn(const MainWindow &window, bool enabled, bool includeSwitchedSpins)
{
    QStringList states = connectionElements(window, includeSwitchedSpins);
    for (QString &state : states)
        state = state.section(QLatin1Char(' '), 0, 0) + (enabled ? QStringLiteral(" on") : QStringLiteral(" off"));
    return states;
}

bool autoRefreshChecked(const MainWindow &window)
{
    return window.findChild<QAction *>(QStringLiteral("mnuAutoRefresh"))->isChecked();
}

// Writes the settings file the program will read, replacing whatever an earlier test left.
void writeSettings(const QByteArray &text)
{
    const QString path = SettingsStore::filePath();
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Many timer intervals: only a timer that stopped ticking runs into it.
constexpr int kTickWaitMs = 30000;

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void noPortLeavesEverythingDisabledAndTouchesNothing()
    {
        WindowFixture fixture;
        QVERIFY(!fixture.start(QString())); // no port stored, none on the command line
        MainWindow &window = *fixture.window;
        QCOMPARE(window.state().commPort, qint16(0));
        QVERIFY(!finished(window.connection().connectSupply())); // and again, any number of times
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(connectionElements(window, true), allIn(window, false, true));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(), QStringLiteral("COM?:"));
        QVERIFY(!window.state().autoRefresh());
        QVERIFY(!autoRefreshChecked(window));
        QVERIFY(fixture.ui.messages.isEmpty()); // port 0 is not an error

        // The Refresh menu is disabled, and with it its shortcuts: F5 reads nothing and
        // reports nothing, Shift+F5 leaves auto refresh off.
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_F5);
        QTest::keyClick(&window, Qt::Key_F5, Qt::ShiftModifier);
        QVERIFY(!window.state().autoRefresh());
        QVERIFY(fixture.ui.messages.isEmpty());
        // Nothing reaches the supply without an open port, and no timer runs that could open one;
        // the pause gives anything the keys may have queued its turn.
        QVERIFY(!window.line().isOpen());
        QVERIFY(!window.timer().isActive());
        QTest::qWait(200);
        QVERIFY(!window.line().isOpen());
        QCOMPARE(fixture.supply.receivedCommands(), QStringList());
    }

    void connectingEnablesThePanelAndReadsEveryModule()
    {
        WindowFixture fixture;
        fixture.supply.updateModel([](InstrumentModel &model) { model.setGain(5, 40.0f); });
        QVERIFY(fixture.start());
        MainWindow &window = *fixture.window;
        QCOMPARE(connectionElements(window, false), allIn(window, true, false));
        QCOMPARE(window.model().fieldText(PanelField::gain(5)), QStringLiteral("40"));
        QVERIFY(window.state().autoRefresh()); // the default
        QVERIFY(autoRefreshChecked(window));
        QCOMPARE(window.state().table.ModuleCode[1], QStringLiteral("CA"));
    }

    void aSilentSupplyStillCountsAsConnected()
    {
        VirtualSupply::Options options;
        options.faults.silent = true;
        WindowFixture fixture(options);
        QVERIFY(fixture.start()); // the port opened: Init says connected although no read came back
        MainWindow &window = *fixture.window;
        window.timer().stop();
        QCOMPARE(connectionElements(window, true).mid(0, 4), allIn(window, true, true).mid(0, 4));
        QVERIFY(window.model().isEditable());
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QString()); // nothing was filled in
        QVERIFY(!window.state().autoRefresh());
        QVERIFY(!autoRefreshChecked(window));
        QCOMPARE(fixture.setupDialogsShown, 0);
        QVERIFY(fixture.ui.messages.isEmpty());
    }

    void aPortThatNoLongerOpensDisablesEverything()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        MainWindow &window = *fixture.window;
        window.timer().stop();
        QVERIFY(autoRefreshChecked(window));

        // As the setup dialog applies a port: close, then Init; the device has gone meanwhile.
        window.line().close();
        fixture.supply.stop();
        fixture.ui.clear();
        QVERIFY(!finished(window.connection().connectSupply()));
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(connectionElements(window, true), allIn(window, false, true));
        QVERIFY(!window.state().autoRefresh());
        QVERIFY(!autoRefreshChecked(window));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(), QStringLiteral("COM1:"));
        QCOMPARE(fixture.ui.messages.size(), 1); // the serial layer's own message
        QVERIFY(fixture.ui.messages[0].title.startsWith(QLatin1String("Open ")));

        // And back: a supply at the path again connects on the next Init; auto refresh stays off.
        QVERIFY(fixture.supply.start());
        PortTable::setPath(1, fixture.supply.devicePath());
        QVERIFY(finished(window.connection().connectSupply()));
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(connectionElements(window, false), allIn(window, true, false));
        QVERIFY(!autoRefreshChecked(window));
    }

    void autoRefreshOffInTheSettingsFillsThePanelOnce()
    {
        WindowFixture fixture;
        writeSettings("[Settings]\nAutoRefresh=0\n");
        fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(150.0f); });
        QVERIFY(fixture.start());
        MainWindow &window = *fixture.window;
        QVERIFY(!window.state().autoRefresh());
        QVERIFY(!autoRefreshChecked(window));
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("150"));
        // Init's read, the energy from the control voltage, the forced cycle at the end of start.
        QStringList expected = readPass();
        expected << QStringLiteral("VEN150") << readPass();
        QCOMPARE(fixture.commands(expected.size()), expected);

        // The timer keeps running, but its cycles have nothing to send and do not read.
        QVERIFY(window.timer().isActive());
        fixture.supply.clearLog();
        QSignalSpy ticks(&window.timer(), &QTimer::timeout); // counted after the cycle has run
        constexpr int kTicks = 2;
        QVERIFY(QTest::qWaitFor([&] { return ticks.count() >= kTicks; }, kTickWaitMs));
        QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
        QVERIFY(!autoRefreshChecked(window));
    }

    void unknownModelLeavesTheCathodeCodeAlone()
    {
        WindowFixture fixture;
        writeSettings("[Settings]\nPowerSupply=2\n");
        fixture.start(QStringLiteral("/COM1"));
        MainWindow &window = *fixture.window;
        window.timer().stop();
        QCOMPARE(window.state().powerSupply(), qint16(2));
        QCOMPARE(window.state().table.ModuleCode[1], QString());
        QCOMPARE(window.windowTitle(), QStringLiteral("Tavrel Power Supply"));
        QCOMPARE(window.state().table.ModuleCode[0], QStringLiteral("EN"));
    }
};

QTEST_MAIN(ConnectionTest)
#include "ConnectionTest.moc"
