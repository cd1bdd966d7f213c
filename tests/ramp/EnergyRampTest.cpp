// Energy ramps: the plan's arithmetic and refusals, and whole ramps through the real program on
// the virtual supply, driven over a real control-link socket.
#include "LinkTestClient.h"
#include "WindowFixture.h"

#include "app/ShutDownChoices.h"
#include "core/RuntimeDirectory.h"
#include "core/SettingsStore.h"
#include "ramp/EnergyRampDialog.h"
#include "ramp/RampPlan.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <qcustomplot.h>

namespace {

std::optional<RampPlan> plan(const char *from, const char *to, const char *step, QString *why = nullptr)
{
    ModuleTable table;
    table.fill(0);
    QString reason;
    auto made = RampPlan::make(QLatin1String(from), QLatin1String(to), QLatin1String(step), QStringLiteral("0"),
                               QStringLiteral("0"), false, table, reason);
    if (why)
        *why = reason;
    return made;
}

QString controlPath()
{
    return RuntimeDirectory::filePath(QStringLiteral("Control"));
}

} // namespace

class EnergyRampTest : public QObject
{
    Q_OBJECT

private slots:
    void planCountsStepsInDoublePrecisionAndRefusesWhatCannotRun()
    {
        QCOMPARE(plan("50", "50,3", "0.1")->count(), 4);
        QCOMPARE(plan("200", "100", "25")->count(), 5);
        QCOMPARE(plan("200", "100", "25")->energyAt(4), 100.0);
        QCOMPARE(plan("10", "10", "5")->count(), 1);
        // A rounding residue never carries the last step past its end (below 0 here).
        QCOMPARE(plan("0.7", "0", "0.1")->energyAt(7), 0.0);
        QCOMPARE(RampPlan::wireText(50.3), QStringLiteral("50.3"));
        QString why;
        QVERIFY(!plan("10", "20", "0", &why));
        QVERIFY(why.contains(QLatin1String("step")));
        QVERIFY(!plan("10", "20", "-1"));
        QVERIFY(!plan("10", "1001", "1", &why)); // above the energy limit
        QVERIFY(why.contains(QLatin1String("1000")));
        QVERIFY(!plan("0", "1000", "0.01", &why)); // 100,001 steps
        QVERIFY(plan("0", "999.99", "0.01"));      // 100,000 steps
    }

    void rampOverTheControlLinkKeepsItsSettleTimeAndReportsEachStep()
    {
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        LinkTestClient client;
        QVERIFY(client.open(controlPath()));
        QCOMPARE(client.command(QStringLiteral("REQUEST Ramp")), QStringLiteral("DATA idle"));
        QCOMPARE(client.command(QStringLiteral("RAMP 100 102 1 30 0")), QStringLiteral("OK 3"));
        QStringList steps;
        for (int k = 1; k <= 3; ++k)
            steps << client.nextLine().value_or(QStringLiteral("<none>"));
        QCOMPARE(client.nextLine().value_or(QStringLiteral("<none>")), QStringLiteral("END 3 complete"));
        for (int k = 0; k < 3; ++k)
            QVERIFY2(steps[k].startsWith(QStringLiteral("STEP %1 %2 ").arg(k + 1).arg(100 + k)), qPrintable(steps[k]));
        QCOMPARE(fixture.supply.receivedCommands(),
                 (QStringList{QStringLiteral("VEN100"), QStringLiteral("REN"), QStringLiteral("VEN101"),
                              QStringLiteral("REN"), QStringLiteral("VEN102"), QStringLiteral("REN")}));
        // The energy stays at the last step, shown without a mark; the monitor read 102 V.
        QCOMPARE(fixture.window->model().fieldText(PanelField::value(0)), QStringLiteral("102"));
        QVERIFY(!fixture.window->model().isMarked(PanelField::value(0)));
        QVERIFY2(steps[2].startsWith(QLatin1String("STEP 3 102 102 ")), qPrintable(steps[2]));
        QCOMPARE(client.command(QStringLiteral("RAMP 100 2000 1 0 0")).left(9), QStringLiteral("ERROR 10 "));
        QVERIFY(fixture.ui.messages.isEmpty());
    }

    void handshakeWaitsForItsOwnClientAndEndsWhenTheClientGoes()
    {
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        LinkTestClient camera;
        LinkTestClient other;
        QVERIFY(camera.open(controlPath()));
        QVERIFY(other.open(controlPath()));
        QCOMPARE(camera.command(QStringLiteral("RAMP 10 14 2 0 ACK")), QStringLiteral("OK 3"));
        QVERIFY(camera.nextLine().value_or(QString()).startsWith(QLatin1String("STEP 1 10 ")));
        // Nothing moves without the acknowledgement: the ramp waits for it, and the refusals
        // below give its timers their turns.
        QVERIFY(fixture.window->ramp().awaitsAcknowledgement());
        QCOMPARE(other.command(QStringLiteral("REQUEST Ramp")), QStringLiteral("DATA running 1 3"));
        QCOMPARE(other.command(QStringLiteral("RAMP 1 2 1 0 0")), QStringLiteral("ERROR 9 a ramp is running"));
        QCOMPARE(other.command(QStringLiteral("ACK 1")), QStringLiteral("ERROR 11 no step awaits this acknowledgement"));
        QCOMPARE(camera.command(QStringLiteral("ACK 2")), QStringLiteral("ERROR 11 no step awaits this acknowledgement"));
        QVERIFY(fixture.window->ramp().awaitsAcknowledgement());
        QCOMPARE(fixture.supply.receivedCommands(), (QStringList{QStringLiteral("VEN10"), QStringLiteral("REN")}));
        QCOMPARE(camera.command(QStringLiteral("ACK 1")), QStringLiteral("OK"));
        QVERIFY(camera.nextLine().value_or(QString()).startsWith(QLatin1String("STEP 2 12 ")));

        camera.close(); // the camera program goes away: the ramp stops at its step
        QTRY_COMPARE(other.command(QStringLiteral("REQUEST Ramp")), QStringLiteral("DATA idle"));
        QCOMPARE(fixture.supply.receivedCommands().count(QStringLiteral("REN")), 2);
        QCOMPARE(fixture.window->model().fieldText(PanelField::value(0)), QStringLiteral("12"));
    }

    void anotherEnergyInputStopsTheRampFirst()
    {
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        LinkTestClient client;
        QVERIFY(client.open(controlPath()));
        QCOMPARE(client.command(QStringLiteral("RAMP 100 200 10 0 5000")), QStringLiteral("OK 11"));
        QVERIFY(client.nextLine().value_or(QString()).startsWith(QLatin1String("STEP 1 100 ")));
        fixture.supply.clearLog();
        QCOMPARE(client.command(QStringLiteral("EXECUTE ENERGY=150")), QStringLiteral("OK"));
        fixture.window->refreshCycle().runCycle(); // the next tick in its dwell
        QVERIFY(waitForLine(fixture.window->line()));
        QCOMPARE(client.nextLine().value_or(QString()), QStringLiteral("END 1 stopped"));
        QCOMPARE(fixture.commands(1).value(0), QStringLiteral("VEN150"));
        QVERIFY(!fixture.window->ramp().isRunning());

        // A poke of the control voltage stops it too, before its own VEN goes out.
        QCOMPARE(client.command(QStringLiteral("RAMP 100 200 10 0 5000")), QStringLiteral("OK 11"));
        QVERIFY(client.nextLine().value_or(QString()).startsWith(QLatin1String("STEP 1 100 ")));
        fixture.supply.clearLog();
        // The notification comes while the poke is carried out, before its answer.
        QCOMPARE(client.command(QStringLiteral("POKE DA_set_voltage 1.2")), QStringLiteral("END 1 stopped"));
        QCOMPARE(client.nextLine().value_or(QString()), QStringLiteral("OK"));
        QCOMPARE(fixture.commands(1), QStringList{QStringLiteral("VEN120")});
        QCOMPARE(client.command(QStringLiteral("RAMP STOP")), QStringLiteral("OK"));
    }

    void aStepWaitsForARunningReadBack()
    {
        // A ramp asked for while a full read-back yields between its reads (at start-up, or F5)
        // neither splits that pass nor is stopped by the read-back's own control voltage.
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        RampPlan plan;
        plan.from = 10.0;
        plan.to = 12.0;
        QVERIFY(fixture.window->ramp().start(plan).isEmpty());
        fixture.window->refreshAll(); // the ramp's first step comes due in its yields
        QTRY_VERIFY(!fixture.window->ramp().isRunning());
        const QStringList commands = fixture.supply.receivedCommands();
        QCOMPARE(commands.mid(0, 8), readPass());
        QCOMPARE(commands.mid(commands.size() - 6),
                 (QStringList{QStringLiteral("VEN10"), QStringLiteral("REN"), QStringLiteral("VEN11"),
                              QStringLiteral("REN"), QStringLiteral("VEN12"), QStringLiteral("REN")}));
        QCOMPARE(fixture.window->ramp().stepsDone(), 3);
    }

    void shutDownStopsTheRampBeforeItsCommands()
    {
        WindowFixture fixture;
        ShutDownChoices stored;
        stored.filament = true;
        stored.energy = true;
        stored.store();
        QVERIFY(fixture.startQuiet());
        LinkTestClient client;
        QVERIFY(client.open(controlPath()));
        QCOMPARE(client.command(QStringLiteral("RAMP 100 200 10 0 300")), QStringLiteral("OK 11"));
        QVERIFY(client.nextLine().value_or(QString()).startsWith(QLatin1String("STEP 1 100 ")));
        fixture.window->unloadForSystem();
        QCOMPARE(client.nextLine().value_or(QString()), QStringLiteral("END 1 stopped"));
        QVERIFY(!fixture.window->ramp().isRunning());
        QTest::qWait(500); // longer than the 300 ms dwell: a step still due would have gone out
        QCOMPARE(fixture.supply.receivedCommands(),
                 (QStringList{QStringLiteral("VEN100"), QStringLiteral("REN"), QStringLiteral("SCAOFF"),
                              QStringLiteral("VEN0")}));
    }

    void theOperatorRunsARampFromTheWindowAndSavesItsCsv()
    {
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        fixture.window->findChild<QAction *>(QStringLiteral("mnuEnergyRamp"))->trigger();
        auto *dialog = fixture.window->findChild<EnergyRampDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        const QStringList texts = {QStringLiteral("20"), QStringLiteral("10"), QStringLiteral("2,5"),
                                   QStringLiteral("10"), QStringLiteral("0")};
        const char *names[] = {"Text_From", "Text_To", "Text_Step", "Text_Settle", "Text_Dwell"};
        for (int i = 0; i < 5; ++i)
            dialog->findChild<QLineEdit *>(QLatin1String(names[i]))->setText(texts[i]);
        dialog->findChild<QPushButton *>(QStringLiteral("Command_Start"))->click();
        QTRY_VERIFY(!fixture.window->ramp().isRunning());
        QCOMPARE(dialog->steps().size(), 5);
        QCOMPARE(dialog->findChild<QCustomPlot *>()->graph(0)->dataCount(), 5);
        QCOMPARE(dialog->findChild<QProgressBar *>()->value(), 5);
        QCOMPARE(fixture.supply.receivedCommands().first(), QStringLiteral("VEN20"));
        QCOMPARE(fixture.supply.receivedCommands().at(8), QStringLiteral("VEN10"));
        QCOMPARE(SettingsStore::readText(QStringLiteral("Ramp"), QStringLiteral("Step"), {}), QStringLiteral("2,5"));

        QTemporaryDir folder;
        const QString csv = folder.filePath(QStringLiteral("ramp.csv"));
        fixture.ui.saveAnswers = {csv};
        dialog->findChild<QPushButton *>(QStringLiteral("Command_Save"))->click();
        QFile saved(csv);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(saved.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0], EnergyRampDialog::kCsvHeader);
        QVERIFY2(lines[2].startsWith(QLatin1String("2,17.5,17.5,")), qPrintable(lines[2]));

        // A refused plan says why and sends nothing.
        fixture.supply.clearLog();
        dialog->findChild<QLineEdit *>(QStringLiteral("Text_Step"))->setText(QStringLiteral("0"));
        dialog->findChild<QPushButton *>(QStringLiteral("Command_Start"))->click();
        QCOMPARE(fixture.ui.messages.size(), 1);
        QVERIFY(fixture.ui.messages[0].text.contains(QLatin1String("step")));
        QVERIFY(!fixture.window->ramp().isRunning());
        QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
    }

    void refreshAllWaitsForTheStepsRead()
    {
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        LinkTestClient client;
        QVERIFY(client.open(controlPath()));
        QCOMPARE(client.command(QStringLiteral("RAMP 100 101 1 1000 0")), QStringLiteral("OK 2"));
        EnergyRamp &ramp = fixture.window->ramp();
        QVERIFY(QTest::qWaitFor([&] { return ramp.isSettling(); }, LinkTestClient::kWaitMs));
        fixture.window->findChild<QAction *>(QStringLiteral("mnuRefreshAll"))->trigger(); // F5 inside the settle time
        QVERIFY(QTest::qWaitFor([&] { return !ramp.isRunning(); }, LinkTestClient::kWaitMs));
        const QStringList commands = fixture.commands(2 * 2 + readPass().size());
        QCOMPARE(commands.size(), 2 * 2 + readPass().size());
        // The eight reads come after a step's REN, never between its VEN and its REN.
        for (qsizetype i = 0; i < commands.size(); ++i) {
            if (commands[i].startsWith(QLatin1String("VEN"))) {
                QCOMPARE(commands.value(i + 1), QStringLiteral("REN"));
                QVERIFY2(commands.value(i + 2) != QLatin1String("RCA"), qPrintable(commands.join(QLatin1Char(' '))));
            }
        }
        QCOMPARE(commands.mid(commands.indexOf(QStringLiteral("RCA")) - 1, readPass().size()), readPass());
    }

    void theClientRunsACameraCommandAfterEachStep()
    {
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        QTemporaryDir folder;
        const QString frames = folder.filePath(QStringLiteral("frames"));
        QProcess tool;
        tool.start(QStringLiteral(TAVREL_CONTROL_PATH),
                   {QStringLiteral("ramp"), QStringLiteral("10"), QStringLiteral("12"), QStringLiteral("1"),
                    QStringLiteral("0"), QStringLiteral("--ack"),
                    QStringLiteral("echo $TAVREL_STEP:$TAVREL_ENERGY >> '%1'; echo camera says hello").arg(frames)});
        // The program answers from this thread's event loop: wait by running it.
        QVERIFY(QTest::qWaitFor([&tool] { return tool.state() == QProcess::NotRunning; }, LinkTestClient::kWaitMs));
        QCOMPARE(tool.exitCode(), 0);
        const QStringList csv = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(csv.size(), 4);
        QCOMPARE(csv[0], QStringLiteral("step,energy_set_eV,energy_monitor_V,beam_current_A,time_ms"));
        QVERIFY2(csv[3].startsWith(QLatin1String("3,12,12,")), qPrintable(csv[3]));
        QVERIFY(tool.readAllStandardError().contains("camera says hello"));
        QFile written(frames);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("1:10\n2:11\n3:12\n"));
    }
};

QTEST_MAIN(EnergyRampTest)
#include "EnergyRampTest.moc"
