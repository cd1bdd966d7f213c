#include "WindowFixture.h"

#include "panel/EditField.h"
#include "panel/SpinControl.h"
#include "panel/SpinImages.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpReadsEveryModuleThenRunsOneCycle()
    {
        WindowFixture fixture;
        fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(150.0f); });
        QVERIFY(fixture.start());
        const QStringList pass = readPass();
        // Init's full read, the energy the read-back wrote into DA_set_voltage, then the forced
        // cycle: no marks, so only the read-back of the monitors.
        QStringList expected = pass;
        expected << QStringLiteral("VEN150") << pass;
        QCOMPARE(fixture.commands(expected.size()), expected);
        QCOMPARE(fixture.window->model().fieldText(PanelField::value(0)), QStringLiteral("150"));
        QCOMPARE(fixture.window->findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text(),
                 QStringLiteral("1.5"));
        QCOMPARE(fixture.window->windowTitle(), QStringLiteral("Tavrel Power Supply [R4150-D]"));
        QCOMPARE(fixture.window->findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(),
                 QStringLiteral("COM1:"));
        QVERIFY(fixture.ui.messages.isEmpty());
        QCOMPARE(fixture.setupDialogsShown, 0);
    }

    void everyElementExistsWithItsNameCaptionAndInitialState()
    {
        TestEnvironment environment;
        RecordingUserInterface ui;
        MainWindow window(ui, CommandLine::parse(QString()));
        auto widget = [&window](const QString &name) { return window.findChild<QWidget *>(name); };

        const QStringList values = {"Text_Value(0)", "Text_Value(1)", "Text_Value(2)"};
        const QStringList gains = {"Text_Gain(3)", "Text_Gain(4)", "Text_Gain(5)", "Text_Gain(6)", "Text_Gain(7)"};
        const QStringList offsets = {"Text_Offset(3)", "Text_Offset(4)", "Text_Offset(5)", "Text_Offset(7)"};
        for (const QStringList &names : {values, gains, offsets}) {
            for (const QString &name : names) {
                auto *field = window.findChild<EditField *>(name);
                QVERIFY2(field, qPrintable(name));
                QVERIFY2(!field->isEnabled(), qPrintable(name)); // not connected yet
                QVERIFY(!field->toolTip().isEmpty());
                QString spinName = name;
                spinName.replace(QStringLiteral("Text_Value"), QStringLiteral("Picture_value"))
                    .replace(QStringLiteral("Text_Gain"), QStringLiteral("Picture_gain"))
                    .replace(QStringLiteral("Text_Offset"), QStringLiteral("Picture_offset"));
                auto *spin = window.findChild<SpinControl *>(spinName);
                QVERIFY2(spin, qPrintable(spinName));
                QVERIFY(!spin->isEnabled());
                QCOMPARE(spin->pixmap().toImage(), SpinImages::disabled().toImage());
            }
        }
        QVERIFY(!widget(QStringLiteral("Text_Offset(6)")));
        QCOMPARE(window.findChild<EditField *>(QStringLiteral("Text_Value(0)"))->toolTip(),
                 QStringLiteral("Energy = 0 ... 1000 eV"));
        QCOMPARE(window.findChild<EditField *>(QStringLiteral("Text_Offset(5)"))->toolTip(),
                 QStringLiteral("Offset = -20 ... 100"));
        for (int i : {0, 3, 4, 5, 6, 7})
            QVERIFY(window.findChild<QLabel *>(QStringLiteral("Label_UMon(%1)").arg(i)));
        for (int i : {0, 1, 4})
            QVERIFY(window.findChild<QLabel *>(QStringLiteral("Label_IMon(%1)").arg(i)));
        for (int i : {1, 2}) {
            QVERIFY(widget(QStringLiteral("Label_OnOff(%1)").arg(i)));
            QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("Command_On(%1)").arg(i))->text(), QStringLiteral("ON"));
            QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("Command_Off(%1)").arg(i))->text(), QStringLiteral("OFF"));
            QVERIFY(!widget(QStringLiteral("Command_On(%1)").arg(i))->isEnabled());
        }
        for (const char *name : {"DA_set_voltage", "Picture_Busy", "Picture_DDE", "Picture_Screen", "Picture1",
                                 "Picture_up_dn", "Picture_up_dn_dis", "Picture_up", "Picture_Dn", "Label3(0)",
                                 "Label3(1)"})
            QVERIFY2(widget(QLatin1String(name)), name);
        QVERIFY(!widget(QStringLiteral("DA_set_voltage"))->isEnabled());
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label_VersionDate"))->text(), QStringLiteral("Jul. 26, 2000"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label_Simulation"))->text(), QStringLiteral("SIMULATION"));
        QVERIFY(window.findChild<QLabel *>(QStringLiteral("Label_Simulation"))->isHidden());
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(), QStringLiteral("COM?:"));
        QVERIFY(!window.timer().isActive());
        QCOMPARE(window.timer().interval(), 1000);

        const QList<std::pair<const char *, const char *>> menu = {
            {"mnuOpen", "&Open Profile..."}, {"mnuSave", "Sa&ve Profile"}, {"mnuSaveAs", "Save Profile &As..."},
            {"mnuSetup", "&Setup..."}, {"mnuSimulation", "Si&mulation"}, {"mnuExit", "E&xit"},
            {"mnuRefreshAll", "&Refresh All"}, {"mnuAutoRefresh", "&Auto Refresh"}, {"mnuAbout", "&About"}};
        for (const auto &[name, caption] : menu) {
            auto *action = window.findChild<QAction *>(QLatin1String(name));
            QVERIFY2(action, name);
            QCOMPARE(action->text(), QLatin1String(caption));
        }
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("mnuRefreshAll"))->shortcut(), QKeySequence(Qt::Key_F5));
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("mnuAutoRefresh"))->shortcut(),
                 QKeySequence(Qt::SHIFT | Qt::Key_F5));
        QVERIFY(!window.findChild<QAction *>(QStringLiteral("mnuOpen"))->isEnabled());
        QVERIFY(window.findChild<QAction *>(QStringLiteral("mnuExit"))->isEnabled());

        // The caption follows the model at once; an unknown model has no suffix.
        window.state().setPowerSupply(1);
        QCOMPARE(window.windowTitle(), QStringLiteral("Tavrel Power Supply [Tavrel digital]"));
        window.state().setPowerSupply(2);
        QCOMPARE(window.windowTitle(), QStringLiteral("Tavrel Power Supply"));
        window.state().setPowerSupply(0);
        QCOMPARE(window.windowTitle(), QStringLiteral("Tavrel Power Supply [R4150-D]"));
    }

    void simulationToggleSwitchesAndAboutNamesTheVersion()
    {
        TestEnvironment environment;
        RecordingUserInterface ui;
        MainWindow window(ui, CommandLine::parse(QString()));
        auto *label = window.findChild<QLabel *>(QStringLiteral("Label_Simulation"));
        auto *item = window.findChild<QAction *>(QStringLiteral("mnuSimulation"));
        window.state().simulationMode = false;
        window.toggleSimulation();
        QCOMPARE(window.state().simulationMode, true);
        QVERIFY(item->isChecked());
        QVERIFY(!label->isHidden());
        window.toggleSimulation();
        QCOMPARE(window.state().simulationMode, false);
        QVERIFY(!item->isChecked());
        QVERIFY(label->isHidden());
        window.state().simulationMode = true;
        window.updateFileMenu(); // opening the menu shows the current state
        QVERIFY(item->isChecked());

        window.showAbout();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].title, window.windowTitle());
        QCOMPARE(ui.messages[0].icon, UserInterface::Icon::Information);
        const QStringList lines = ui.messages[0].text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[5], QString());
        QCOMPARE(lines[6], QString(11, QLatin1Char(' ')) + QStringLiteral("Jul. 26, 2000"));
    }

    void exitEndsTheEventLoopAfterTheShutDownDialog()
    {
        WindowFixture fixture;
        QVERIFY(fixture.start());
        MainWindow *window = fixture.window.get();
        int dialogs = 0;
        window->shutDown().setDialogRunner([&] {
            ++dialogs;
            // A timer tick while the dialog is open runs a cycle in the dialog's loop.
            window->refreshCycle().runCycle();
            waitForLine(window->line());
            return ShutDownSequence::DialogResult{};
        });
        QTimer::singleShot(0, window, [window] { window->exitProgram(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); }); // the program lingered
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(dialogs, 1);
        QVERIFY(window->isUnloaded());
        QVERIFY(!window->line().isOpen());
    }

    void forcedRefreshKeepsATimeOutsSwitchOff()
    {
        ControllerState state;
        bool during = false;
        state.autoRefreshFlag = false;
        state.forceAutoRefreshDuring([&] { during = state.autoRefresh(); });
        QVERIFY(during);
        QCOMPARE(state.autoRefreshFlag, false);
        state.autoRefreshFlag = 1; // a value stored by hand comes back exactly
        state.forceAutoRefreshDuring([] {});
        QCOMPARE(state.autoRefreshFlag, qint16(1));
        // A read that timed out during the forced cycle switched auto refresh off: that stands.
        state.autoRefreshFlag = true;
        state.forceAutoRefreshDuring([&] { state.setAutoRefresh(false); });
        QCOMPARE(state.autoRefreshFlag, false);
    }

    void withoutPortThePanelStaysDisabledAndSetupOpens()
    {
        WindowFixture fixture;
        QVERIFY(!fixture.start(QString()));
        QCOMPARE(fixture.setupDialogsShown, 1);
        QVERIFY(!fixture.window->model().isEditable());
        QVERIFY(!fixture.window->state().autoRefresh());
        QCOMPARE(fixture.window->findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(),
                 QStringLiteral("COM?:"));
        // Nothing reaches the supply without an open port, and no timer runs that could open one;
        // the pause gives anything the load sequence may have queued its turn.
        QVERIFY(!fixture.window->line().isOpen());
        QVERIFY(!fixture.window->timer().isActive());
        QTest::qWait(200);
        QVERIFY(!fixture.window->line().isOpen());
        QVERIFY(fixture.supply.receivedCommands().isEmpty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
