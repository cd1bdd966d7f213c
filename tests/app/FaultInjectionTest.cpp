// A misbehaving supply end to end: the real window on the virtual supply's pseudo-terminal with
// its fault modes. In every case the program must not crash or hang, must keep its memory
// bounded, must tell the operator (a message, or the orange lamp with auto refresh off) and
// must send nothing but reads and what the operator asked for.

#include "WindowFixture.h"

#include "panel/IndicatorLamp.h"
#include "setup/SetupDialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>

#include <sys/resource.h>

namespace {

const QColor kOrange(255, 128, 0);
const QColor kGreen(0, 255, 0);
// Loose bounds: a leak of a line per read or a spinning loop exceeds them by far.
constexpr qint64 kMemoryGrowthLimitKiB = 64 * 1024;
constexpr double kIdleCpuShareLimit = 0.5;
constexpr int kIdleMeasureMs = 1500;
constexpr int kPollMs = 10;
constexpr int kWaitMs = 10000; // only a hang reaches it

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QColor busyLamp(MainWindow &window)
{
    return window.findChild<IndicatorLamp *>(QStringLiteral("Picture_Busy"))->color();
}

QString monitor(MainWindow &window, const char *name)
{
    return window.findChild<QLabel *>(QLatin1String(name))->text();
}

// Everything on the wire was a read, or one of the operator's own commands.
bool onlyReadsAnd(const QStringList &commands, const QStringList &operatorCommands, QString *offender)
{
    for (const QString &command : commands) {
        if (!command.startsWith(QLatin1Char('R')) && !operatorCommands.contains(command)) {
            *offender = command;
            return false;
        }
    }
    return true;
}

} // namespace

class FaultInjectionTest : public QObject
{
    Q_OBJECT

private slots:
    void silentSupply();
    void noEcho();
    void extraLinesBeforeEchoes();
    void garbageBeforeEchoes();
    void runawayLine();
    void silentInTheMiddleOfAReadBack();
    void hangUpAndRecoveryThroughSetup();
    void hangUpInMidCycleIsOneMessage();

private:
    // The common end of every case: told, bounded, nothing unasked sent, and still working
    // once the supply behaves again.
    void checkAftermath(WindowFixture &fixture, const QStringList &operatorCommands, qint64 memoryBefore);
};

void FaultInjectionTest::checkAftermath(WindowFixture &fixture, const QStringList &operatorCommands,
                                        qint64 memoryBefore)
{
    MainWindow &window = *fixture.window;
    QString offender;
    QVERIFY2(onlyReadsAnd(fixture.supply.receivedCommands(), operatorCommands, &offender), qPrintable(offender));
    QVERIFY2(residentKiB() - memoryBefore < kMemoryGrowthLimitKiB,
             qPrintable(QStringLiteral("%1 KiB more").arg(residentKiB() - memoryBefore)));

    // The supply behaves again: a cycle with auto refresh on reads a whole pass. First what it
    // still had queued goes out, and what of it reached the program is dropped.
    fixture.supply.setFaults({});
    QVERIFY(QTest::qWaitFor([&] {
        if (fixture.supply.waitForRepliesSent(0))
            return true;
        window.line().clearInput();
        return false;
    }, kWaitMs));
    fixture.supply.clearLog();
    window.state().setAutoRefresh(true);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commands(readPass().size()), readPass());
    QCOMPARE(busyLamp(window), kGreen);
    QVERIFY(window.state().autoRefresh());
}

void FaultInjectionTest::silentSupply()
{
    WindowFixture fixture;
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(100.0f); });
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const qint64 memoryBefore = residentKiB();

    // Between two module reads the window's events run: a timer fires after the first read
    // and before the last.
    QList<int> commandsWhenTimerRan;
    QTimer ticker;
    ticker.setInterval(0);
    connect(&ticker, &QTimer::timeout, this,
            [&] { commandsWhenTimerRan << int(fixture.supply.receivedCommands().size()); });
    ticker.start();
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    ticker.stop();
    const bool ranBetweenReads = std::any_of(commandsWhenTimerRan.begin(), commandsWhenTimerRan.end(),
                                             [](int count) { return count >= 1 && count < readPass().size(); });
    QVERIFY(ranBetweenReads);
    fixture.supply.clearLog();

    SupplyFaults faults;
    faults.silent = true;
    fixture.supply.setFaults(faults);
    // The window answers while the read waits for its reply: the operator opens the File menu
    // and switches simulation on and off again before the time-out ends the read.
    bool menuDuringRead = false;
    QTimer::singleShot(0, &window, [&] {
        QMenu *file = window.findChild<QMenu *>(QStringLiteral("mnuFile"));
        file->popup(QPoint());
        window.findChild<QAction *>(QStringLiteral("mnuSimulation"))->trigger();
        window.findChild<QAction *>(QStringLiteral("mnuSimulation"))->trigger();
        file->hide();
        menuDuringRead = !window.line().isIdle() && window.line().lamp() == SerialLink::Lamp::Busy
                         && !window.state().simulationMode;
    });
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QVERIFY(menuDuringRead);
    QCOMPARE(fixture.supply.receivedCommands(), QStringList{QStringLiteral("REN")}); // one read, then off
    QCOMPARE(busyLamp(window), kOrange);
    QVERIFY(!window.state().autoRefresh());
    QVERIFY(!window.findChild<QAction *>(QStringLiteral("mnuAutoRefresh"))->isChecked());
    QCOMPARE(monitor(window, "Label_UMon(0)"), QStringLiteral("100.0 ")); // the last good pass stays
    QVERIFY(window.model().isEditable());

    // With auto refresh off the following cycles leave the silent supply alone.
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands().size(), 1);
    QVERIFY(fixture.ui.messages.isEmpty()); // a time-out shows the lamp, not a box
    checkAftermath(fixture, {}, memoryBefore);
}

void FaultInjectionTest::noEcho()
{
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const qint64 memoryBefore = residentKiB();
    SupplyFaults faults;
    faults.noEcho = true;
    fixture.supply.setFaults(faults);

    // The operator's energy goes out once and is not repeated; its missing echo times out.
    window.model().setFieldText(PanelField::value(0), QStringLiteral("150"));
    window.model().markField(PanelField::value(0));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands().first(), QStringLiteral("VEN150"));
    QCOMPARE(busyLamp(window), kOrange);
    QVERIFY(!window.state().autoRefresh());
    QVERIFY(!window.model().isMarked(PanelField::value(0)));

    // A read without its echo: the data line alone is not taken for an answer.
    window.state().setAutoRefresh(true);
    fixture.supply.clearLog();
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands(), QStringList{QStringLiteral("REN")});
    QCOMPARE(busyLamp(window), kOrange);
    QVERIFY(!window.state().autoRefresh());
    checkAftermath(fixture, {QStringLiteral("VEN150")}, memoryBefore);
}

void FaultInjectionTest::extraLinesBeforeEchoes()
{
    WindowFixture fixture;
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(100.0f); });
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const qint64 memoryBefore = residentKiB();

    // A few junk lines are skipped: the pass reads every module and shows it.
    SupplyFaults faults;
    faults.extraLines = 3;
    fixture.supply.setFaults(faults);
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(120.0f); });
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commands(readPass().size()), readPass());
    QCOMPARE(monitor(window, "Label_UMon(0)"), QStringLiteral("120.0 "));
    QCOMPARE(busyLamp(window), kGreen);
    QVERIFY(window.state().autoRefresh());

    // More junk than a read may skip ends it like a time-out, well before the junk runs out.
    faults.extraLines = 40;
    fixture.supply.setFaults(faults);
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(130.0f); });
    fixture.supply.clearLog();
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands(), QStringList{QStringLiteral("REN")});
    QCOMPARE(busyLamp(window), kOrange);
    QVERIFY(!window.state().autoRefresh());
    QCOMPARE(monitor(window, "Label_UMon(0)"), QStringLiteral("120.0 "));
    QVERIFY(fixture.ui.messages.isEmpty());
    checkAftermath(fixture, {}, memoryBefore);
}

void FaultInjectionTest::garbageBeforeEchoes()
{
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const qint64 memoryBefore = residentKiB();
    SupplyFaults faults;
    faults.garbage = true;
    fixture.supply.setFaults(faults);
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(140.0f); });

    // Noise in front of a read's echo still ends in the echo: the pass reads and shows it.
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commands(readPass().size()), readPass());
    QCOMPARE(monitor(window, "Label_UMon(0)"), QStringLiteral("140.0 "));
    QCOMPARE(busyLamp(window), kGreen);

    // A set-command wants its echo exactly: the garbled one is not taken, the wait ends as a
    // time-out, and the command is not repeated.
    fixture.supply.clearLog();
    window.model().setFieldText(PanelField::gain(3), QStringLiteral("-20"));
    window.model().markField(PanelField::gain(3));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands(), QStringList{QStringLiteral("GWE-20")});
    QCOMPARE(busyLamp(window), kOrange);
    QVERIFY(!window.state().autoRefresh());
    QVERIFY(!window.model().isMarked(PanelField::gain(3)));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands().size(), 1);
    QVERIFY(fixture.ui.messages.isEmpty());
    checkAftermath(fixture, {QStringLiteral("GWE-20")}, memoryBefore);
}

void FaultInjectionTest::runawayLine()
{
    WindowFixture fixture;
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(100.0f); });
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const qint64 memoryBefore = residentKiB();
    SupplyFaults faults;
    faults.runaway = true;
    fixture.supply.setFaults(faults);

    // The line without end stops the read at its bound, as a time-out.
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands(), QStringList{QStringLiteral("REN")});
    QCOMPARE(busyLamp(window), kOrange);
    QVERIFY(!window.state().autoRefresh());
    QCOMPARE(monitor(window, "Label_UMon(0)"), QStringLiteral("100.0 "));

    // The operator asks for a full read while the line still runs: it ends the same way.
    window.findChild<QAction *>(QStringLiteral("mnuRefreshAll"))->trigger();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(busyLamp(window), kOrange);
    QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("100"));
    QVERIFY(fixture.ui.messages.isEmpty());
    checkAftermath(fixture, {}, memoryBefore);
}

void FaultInjectionTest::silentInTheMiddleOfAReadBack()
{
    WindowFixture fixture;
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(100.0f); });
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const qint64 memoryBefore = residentKiB();
    const QString wehnelt = monitor(window, "Label_UMon(3)");

    // Three modules answer (echo and data line each), then nothing.
    SupplyFaults faults;
    faults.silentAfter = 6;
    fixture.supply.setFaults(faults);
    fixture.supply.updateModel([](InstrumentModel &model) {
        model.setEnergy(200.0f);
        model.setGain(3, -10.0f);
    });
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.supply.receivedCommands(), readPass().mid(0, 4));
    QCOMPARE(busyLamp(window), kOrange);
    QVERIFY(!window.state().autoRefresh());
    // The panel shows the previous complete pass, not a mixture.
    QCOMPARE(monitor(window, "Label_UMon(0)"), QStringLiteral("100.0 "));
    QCOMPARE(monitor(window, "Label_UMon(3)"), wehnelt);
    QVERIFY(fixture.ui.messages.isEmpty());
    checkAftermath(fixture, {}, memoryBefore);
    QCOMPARE(monitor(window, "Label_UMon(0)"), QStringLiteral("200.0 "));
}

void FaultInjectionTest::hangUpAndRecoveryThroughSetup()
{
    // The supply behind a fixed link path, so that a new terminal appears under the same name.
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    WindowFixture fixture;
    QVERIFY(fixture.supply.start(folder.filePath(QStringLiteral("com1"))));
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(100.0f); });
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const qint64 memoryBefore = residentKiB();

    SupplyFaults faults;
    faults.hangupAfter = 4; // in the middle of the third read
    fixture.supply.setFaults(faults);
    window.timer().start(); // as in operation: the timer keeps ticking after the hang-up
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QVERIFY(fixture.supply.waitForHangup(5000));
    QTRY_COMPARE(fixture.ui.messages.size(), 1);
    QVERIFY2(fixture.ui.messages[0].text.startsWith(QStringLiteral("Error ")), qPrintable(fixture.ui.messages[0].text));
    QCOMPARE(fixture.ui.messages[0].icon, UserInterface::Icon::Critical);
    QVERIFY(!window.line().isOpen());
    QVERIFY(!window.state().autoRefresh());
    // The panel is in the not-connected state, as when no port opens.
    QVERIFY(!window.connection().isConnected());
    QVERIFY(!window.timer().isActive());
    QVERIFY(!window.model().isEditable());
    QVERIFY(!window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->isEnabled());
    QVERIFY(!window.findChild<QPushButton *>(QStringLiteral("Command_On(1)"))->isEnabled());
    for (const char *item : {"mnuOpen", "mnuSave", "mnuSaveAs", "mnuRefreshAll", "mnuAutoRefresh"})
        QVERIFY2(!window.findChild<QAction *>(QLatin1String(item))->isEnabled(), item);
    QVERIFY(!window.findChild<QAction *>(QStringLiteral("mnuAutoRefresh"))->isChecked());

    // Closed, not spinning: the program idles, and says nothing more.
    const double cpuBefore = cpuSeconds();
    QTest::qWait(kIdleMeasureMs);
    const double cpuUsed = cpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < kIdleCpuShareLimit * kIdleMeasureMs / 1000.0, qPrintable(QString::number(cpuUsed)));
    QCOMPARE(fixture.ui.messages.size(), 1);
    QString offender;
    QVERIFY2(onlyReadsAnd(fixture.supply.receivedCommands(), {}, &offender), qPrintable(offender));
    QVERIFY(residentKiB() - memoryBefore < kMemoryGrowthLimitKiB);

    // The supply is back under the same name; the operator chooses the port again.
    SupplyFaults none;
    fixture.supply.setFaults(none);
    QVERIFY(fixture.supply.reopen());
    fixture.supply.clearLog();
    window.setSetupDialogRunner({});
    int dialogs = 0;
    QTimer answer;
    answer.setInterval(kPollMs);
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<SetupDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answer.stop();
        ++dialogs;
        auto *ports = dialog->findChild<QComboBox *>(QStringLiteral("Combo_port"));
        ports->setCurrentIndex(ports->findText(QStringLiteral("COM1:"))); // free again, no suffix
        dialog->findChild<QPushButton *>(QStringLiteral("Command_OK"))->click();
        if (dialog->isVisible())
            dialog->reject();
    });
    answer.start();
    window.findChild<QAction *>(QStringLiteral("mnuSetup"))->trigger();
    QCOMPARE(dialogs, 1);
    QVERIFY(QTest::qWaitFor([&window] { return window.line().isOpen(); })); // the port change is a job
    QVERIFY(window.model().isEditable());
    const QStringList reads = fixture.commands(readPass().size());
    QCOMPARE(busyLamp(window), kGreen);
    QCOMPARE(reads.mid(0, readPass().size()), readPass());
    QCOMPARE(fixture.ui.messages.size(), 1);
    window.timer().stop();
}

void FaultInjectionTest::hangUpInMidCycleIsOneMessage()
{
    // A profile's worth of marks, and the line hangs up after the third echo.
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    for (const PanelField &field : kPanelFields)
        window.model().markField(field);
    window.model().requestSwitch(1, SupplyModel::SwitchRequest::On);
    window.model().requestSwitch(2, SupplyModel::SwitchRequest::On);
    SupplyFaults faults;
    faults.hangupAfter = 3;
    fixture.supply.setFaults(faults);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QVERIFY(fixture.supply.waitForHangup(5000));
    QVERIFY(!window.refreshCycle().isBusy());
    QVERIFY(!window.connection().isConnected());
    QVERIFY(!window.line().isOpen());
    // What else the hang-up brings has arrived once the port's own report of it was handled.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(fixture.ui.messages.size(), 1);
    QVERIFY2(fixture.ui.messages[0].text.startsWith(QStringLiteral("Error 8022 in SerialLink:")),
             qPrintable(fixture.ui.messages[0].text));
    QVERIFY(fixture.supply.receivedCommands().size() <= 4); // the fourth may be under way at the hang-up
}

QTEST_MAIN(FaultInjectionTest)
#include "FaultInjectionTest.moc"
