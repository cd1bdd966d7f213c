// Shut-down through the real window: the real shut-down dialog answered from inside its modal
// loop, the commands on the virtual supply's pseudo-terminal, the settings file in a private
// home; and a real SIGTERM to the built program.

#include "WindowFixture.h"

#include "app/ShutDownDialog.h"
#include "core/RuntimeDirectory.h"
#include "core/SettingsStore.h"
#include "app/ShutDownChoices.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

#include <sys/stat.h>

namespace {

constexpr int kPollMs = 10;
constexpr int kProcessWaitMs = 30000; // start-up and exit of the program; only a hang reaches it

// Plays the operator in the next modal shut-down dialog: sets the boxes, then presses a button.
class DialogAnswer
{
public:
    DialogAnswer(bool filament, bool energy, const char *button)
    {
        m_timer.setInterval(kPollMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this, filament, energy, button] {
            auto *dialog = qobject_cast<ShutDownDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            m_timer.stop();
            auto *filamentBox = dialog->findChild<QCheckBox *>(QStringLiteral("Check_Filament"));
            auto *energyBox = dialog->findChild<QCheckBox *>(QStringLiteral("Check_Energy"));
            startFilament = filamentBox->isChecked();
            startEnergy = energyBox->isChecked();
            title = dialog->windowTitle();
            filamentBox->setChecked(filament);
            energyBox->setChecked(energy);
            ++shown;
            dialog->findChild<QPushButton *>(QLatin1String(button))->click();
        });
        m_timer.start();
    }

    int shown = 0;
    bool startFilament = false;
    bool startEnergy = false;
    QString title;

private:
    QTimer m_timer;
};

// One REQUEST over the program's control link, answered or not within `deadline`.
bool linkAnswers(QLocalSocket &link, const QDeadlineTimer &deadline)
{
    link.write("REQUEST Label_CommPort\n");
    if (!link.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!link.canReadLine()) {
        if (!link.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return link.readLine().startsWith("DATA ");
}

// Waits until the program started by a test waits for the operator in a modal loop. Before its
// event loop runs, the load sequence turns it only in single yields, each between commands to
// the supply; so two answers on the control link in a row, with no command between, come from
// a modal loop.
// Longer than any exchange can wait for its reply.
constexpr int kLossNoticedMs = 2 * SerialLink::kReplyTimeoutMs;

bool waitsInAModal(const VirtualSupply &supply)
{
    const QDeadlineTimer deadline(kProcessWaitMs);
    QLocalSocket link;
    link.connectToServer(RuntimeDirectory::filePath(QStringLiteral("Control")));
    if (!link.waitForConnected(int(deadline.remainingTime())))
        return false;
    while (!deadline.hasExpired()) {
        const qsizetype heard = supply.receivedCommands().size();
        if (!linkAnswers(link, deadline) || !linkAnswers(link, deadline))
            return false;
        if (supply.receivedCommands().size() == heard)
            return true; // the conversation ends with `link`; a termination does not wait for it
    }
    return false;
}

QString storedText(const QString &file, const QString &key)
{
    QSettings settings(file, QSettings::IniFormat);
    return settings.value(key).toString();
}

} // namespace

class ShutDownWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void notConnectedClosesWithoutDialog();
    void bothBoxesSendFilamentThenEnergy_data();
    void bothBoxesSendFilamentThenEnergy();
    void cancelKeepsTheWindowAndStoresTheBoxes();
    void exitMenuGoesTheSameWay();
    void systemUnloadAppliesTheStoredChoices();
    void terminationDuringAReadBack();
    void terminationWhileTheShutDownDialogIsOpen();
    void shutDownOnASilentSupplyKeepsTheWindowAnswering();
    void sigtermEndsTheProgramThroughItsUnload();
    void signalDuringAStartUpModalEndsTheProcess_data();
    void signalDuringAStartUpModalEndsTheProcess();
};

void ShutDownWindowTest::notConnectedClosesWithoutDialog()
{
    WindowFixture fixture;
    QVERIFY(!fixture.start(QString()));
    DialogAnswer answer(true, true, "Command_OK");
    QVERIFY(fixture.window->close());
    QVERIFY(fixture.window->isUnloaded());
    QCOMPARE(answer.shown, 0);
    // Unloaded without a port: nothing can reach the supply any more; the pause gives anything
    // the close may have queued its turn.
    QVERIFY(!fixture.window->line().isOpen());
    QTest::qWait(100);
    QVERIFY(fixture.supply.receivedCommands().isEmpty());
    const QString file = fixture.environment.settingsFile();
    QVERIFY(QFile::exists(file));
    QCOMPARE(storedText(file, QStringLiteral("Settings/Port")), QStringLiteral("0"));
    QCOMPARE(storedText(file, QStringLiteral("Settings/AutoRefresh")), QStringLiteral("0"));
    QVERIFY(!storedText(file, QStringLiteral("Left")).isEmpty());
    QVERIFY(!storedText(file, QStringLiteral("Top")).isEmpty());
}

void ShutDownWindowTest::bothBoxesSendFilamentThenEnergy_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("filamentOff");
    QTest::newRow("R4150-D") << int(InstrumentModel::kModelR4150) << QStringLiteral("/COM1") << QStringLiteral("SCAOFF");
    QTest::newRow("Tavrel digital") << int(InstrumentModel::kModelTavrel) << QStringLiteral("/COM1 /TAVREL")
                                    << QStringLiteral("SFIOFF");
}

void ShutDownWindowTest::bothBoxesSendFilamentThenEnergy()
{
    QFETCH(int, model);
    QFETCH(QString, commandLine);
    QFETCH(QString, filamentOff);
    VirtualSupply::Options options;
    options.model = model;
    WindowFixture fixture(options);
    QVERIFY(fixture.start(commandLine));
    fixture.window->timer().stop();
    fixture.supply.clearLog();
    int dialogs = 0;
    fixture.window->shutDown().setDialogRunner([&dialogs] {
        ++dialogs;
        ShutDownSequence::DialogResult result;
        result.choices.filament = true;
        result.choices.energy = true;
        return result;
    });

    QVERIFY(closeAndWait(*fixture.window));
    QCOMPARE(dialogs, 1);
    QVERIFY(fixture.window->isUnloaded());
    QCOMPARE(fixture.commands(2), (QStringList{filamentOff, QStringLiteral("VEN0")}));
    QVERIFY(fixture.ui.messages.isEmpty());
    QVERIFY(!fixture.window->line().isOpen());
    const QString file = fixture.environment.settingsFile();
    QCOMPARE(storedText(file, QStringLiteral("Settings/Port")), QStringLiteral("1"));
    QCOMPARE(storedText(file, QStringLiteral("Settings/PowerSupply")), QString::fromLatin1(model == 0 ? "0" : "1"));
    // The port closed behind VEN0 and the link is retired: nothing can follow. The pause lets
    // the supply's thread log a line the program might still have written before the close.
    QTest::qWait(100);
    QCOMPARE(fixture.supply.receivedCommands().size(), 2); // and nothing after them
}

void ShutDownWindowTest::cancelKeepsTheWindowAndStoresTheBoxes()
{
    WindowFixture fixture;
    QVERIFY(fixture.start());
    fixture.window->timer().stop();
    fixture.supply.clearLog();

    DialogAnswer answer(true, true, "Command_Cancel");
    QVERIFY(!fixture.window->close());
    QCOMPARE(answer.shown, 1);
    QCOMPARE(answer.title, QStringLiteral("Shut Down"));
    QVERIFY(!answer.startFilament);
    QVERIFY(!answer.startEnergy);
    QVERIFY(!fixture.window->isUnloaded());
    QVERIFY(fixture.window->isVisible());
    QVERIFY(fixture.window->line().isOpen());
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
    // The boxes as the operator left them are stored although nothing was sent.
    SettingsStore::sync();
    const QString file = fixture.environment.settingsFile();
    QCOMPARE(storedText(file, QStringLiteral("ShutDown/Filament")), QStringLiteral("1"));
    QCOMPARE(storedText(file, QStringLiteral("ShutDown/Energy")), QStringLiteral("1"));

    // The program goes on working: the next cycle reads the supply.
    fixture.window->refreshCycle().runCycle();
    QVERIFY(waitForLine(fixture.window->line()));
    QCOMPARE(fixture.commands(readPass().size()), readPass());
}

void ShutDownWindowTest::exitMenuGoesTheSameWay()
{
    WindowFixture fixture;
    ShutDownChoices stored;
    stored.filament = true;
    stored.store();
    QVERIFY(fixture.start());
    fixture.window->timer().stop();
    fixture.supply.clearLog();

    // The dialog starts from the stored boxes; the operator leaves them and presses OK.
    DialogAnswer answer(true, false, "Command_OK");
    fixture.window->findChild<QAction *>(QStringLiteral("mnuExit"))->trigger();
    QCOMPARE(answer.shown, 1);
    QVERIFY(answer.startFilament);
    QVERIFY(!answer.startEnergy);
    QVERIFY(waitForUnload(*fixture.window));
    QCOMPARE(fixture.commands(1), QStringList{QStringLiteral("SCAOFF")});
    QVERIFY(QFile::exists(fixture.environment.settingsFile()));
    QCOMPARE(storedText(fixture.environment.settingsFile(), QStringLiteral("Settings/Port")), QStringLiteral("1"));
}

void ShutDownWindowTest::systemUnloadAppliesTheStoredChoices()
{
    WindowFixture fixture;
    ShutDownChoices stored;
    stored.filament = true;
    stored.energy = true;
    stored.store();
    QVERIFY(fixture.start());
    fixture.window->timer().stop();
    fixture.supply.clearLog();

    // A link open does not hold up the end of the session, and nobody is asked.
    QLocalSocket client;
    client.connectToServer(RuntimeDirectory::filePath(QStringLiteral("Control")));
    QTRY_COMPARE(fixture.window->controlLinkServer().conversationCount(), 1);
    QVERIFY(!fixture.window->controlLink().exitEnabled());
    DialogAnswer answer(false, false, "Command_Cancel");

    fixture.window->unloadForSystem();
    QVERIFY(waitForUnload(*fixture.window));
    QCOMPARE(answer.shown, 0);
    QCOMPARE(fixture.ui.beeps, 0);
    QVERIFY(fixture.ui.messages.isEmpty());
    QCOMPARE(fixture.commands(2), (QStringList{QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
    QCOMPARE(storedText(fixture.environment.settingsFile(), QStringLiteral("Settings/Port")), QStringLiteral("1"));
}

void ShutDownWindowTest::terminationDuringAReadBack()
{
    // The termination arrives while a refresh cycle yields between two module reads.
    WindowFixture fixture;
    ShutDownChoices stored;
    stored.filament = true;
    stored.energy = true;
    stored.store();
    QVERIFY(fixture.start());
    MainWindow &window = *fixture.window;
    window.timer().stop();
    fixture.supply.clearLog();

    QTimer::singleShot(0, &window, [&window] { window.unloadForSystem(); });
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QVERIFY(window.isUnloaded());
    QVERIFY(!window.line().isOpen());
    const QStringList commands = fixture.commands();
    QVERIFY2(commands.endsWith(QStringLiteral("VEN0")), qPrintable(commands.join(QLatin1Char(' '))));
    QCOMPARE(commands.count(QStringLiteral("SCAOFF")), 1);
    QCOMPARE(commands.indexOf(QStringLiteral("SCAOFF")), commands.size() - 2);
    // The rest of the interrupted pass is not attempted on the closed port.
    QVERIFY2(fixture.ui.messages.isEmpty(), qPrintable(fixture.ui.messages.value(0).text));
}

void ShutDownWindowTest::shutDownOnASilentSupplyKeepsTheWindowAnswering()
{
    // The operator says go while a read waits for a supply that has fallen silent: the commands
    // follow the cycle, never inside it, and the window goes on answering until they are out.
    WindowFixture fixture;
    QVERIFY(fixture.start());
    MainWindow &window = *fixture.window;
    window.timer().stop();
    fixture.supply.clearLog();
    SupplyFaults faults;
    faults.silent = true;
    fixture.supply.setFaults(faults);
    window.shutDown().setDialogRunner([] {
        ShutDownSequence::DialogResult result;
        result.choices.filament = true;
        result.choices.energy = true;
        return result;
    });

    window.refreshCycle().runCycle();
    QVERIFY(fixture.supply.waitForCommands(1, kProcessWaitMs));
    QVERIFY(!window.close()); // goes once its commands are out
    QVERIFY(!window.isUnloaded());
    // The window's loop runs while the filament's command waits for its reply.
    bool answeredDuringACommand = false;
    QTimer ticker;
    ticker.setInterval(kPollMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        answeredDuringACommand |= !window.isUnloaded() && fixture.supply.receivedCommands().size() == 2;
    });
    ticker.start();
    QVERIFY(waitForUnload(window, kProcessWaitMs));
    QVERIFY(answeredDuringACommand);
    QCOMPARE(fixture.supply.receivedCommands(),
             (QStringList{QStringLiteral("REN"), QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
    QVERIFY(!window.line().isOpen());
    QVERIFY(fixture.ui.messages.isEmpty());
}

void ShutDownWindowTest::terminationWhileTheShutDownDialogIsOpen()
{
    // The end of the session arrives while the operator still looks at the shut-down dialog:
    // the program ends without waiting for the answer, and exactly once.
    WindowFixture fixture;
    QVERIFY(fixture.start());
    MainWindow &window = *fixture.window;
    window.timer().stop();
    fixture.supply.clearLog();

    int dialogs = 0;
    bool stillOpen = false;
    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<ShutDownDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        ++dialogs;
        window.unloadForSystem();
        // Should the termination have been swallowed, answer the dialog so the test goes on.
        if (!window.isUnloaded()) {
            stillOpen = true;
            dialog->findChild<QPushButton *>(QStringLiteral("Command_Cancel"))->click();
        }
    });
    poll.start();
    window.close();
    QCOMPARE(dialogs, 1);
    QVERIFY(!stillOpen);
    QVERIFY(window.isUnloaded());
    QVERIFY(!window.line().isOpen());
    QVERIFY(fixture.ui.messages.isEmpty());
    QCOMPARE(storedText(fixture.environment.settingsFile(), QStringLiteral("Settings/Port")), QStringLiteral("1"));
}

void ShutDownWindowTest::sigtermEndsTheProgramThroughItsUnload()
{
    // The real program in a process of its own, with this test's private home; the supply is
    // served from this process so that its command log shows what reached the line.
    TestEnvironment environment;
    VirtualSupply supply;
    QVERIFY(supply.start());
    PortTable::setPath(1, supply.devicePath());
    ShutDownChoices stored;
    stored.filament = true;
    stored.energy = true;
    stored.store();
    SettingsStore::sync();

    QProcess program;
    QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
    processEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(processEnvironment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(TAVREL_PATH), {QStringLiteral("/COM1")});
    QVERIFY(program.waitForStarted(kProcessWaitMs));
    // Init's read, the control voltage and the first cycle's read: the program is up.
    QVERIFY(supply.waitForCommands(2 * readPass().size() + 1, kProcessWaitMs));
    QVERIFY(QTest::qWaitFor([] { return QFile::exists(RuntimeDirectory::filePath(QStringLiteral("Control"))); },
                            kProcessWaitMs));

    program.terminate(); // SIGTERM
    QVERIFY(program.waitForFinished(kProcessWaitMs));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    const QStringList commands = supply.receivedCommands();
    QVERIFY2(commands.endsWith(QStringLiteral("VEN0")), qPrintable(commands.join(QLatin1Char(' '))));
    QCOMPARE(commands.count(QStringLiteral("SCAOFF")), 1);
    QCOMPARE(commands.indexOf(QStringLiteral("SCAOFF")), commands.size() - 2);
    const QString file = environment.settingsFile();
    QCOMPARE(storedText(file, QStringLiteral("Settings/Port")), QStringLiteral("1"));
    QCOMPARE(storedText(file, QStringLiteral("Settings/AutoRefresh")), QStringLiteral("-1"));
    QVERIFY(!storedText(file, QStringLiteral("Left")).isEmpty());
    QVERIFY(!QFile::exists(RuntimeDirectory::filePath(QStringLiteral("Control"))));
    supply.stop();
}

void ShutDownWindowTest::signalDuringAStartUpModalEndsTheProcess_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("situation");
    QTest::newRow("setup dialog, SIGTERM") << int(SIGTERM) << QStringLiteral("no port");
    QTest::newRow("serial open error, SIGINT") << int(SIGINT) << QStringLiteral("open error");
    QTest::newRow("unreadable profile, SIGHUP") << int(SIGHUP) << QStringLiteral("missing profile");
    QTest::newRow("FIFO profile, SIGTERM") << int(SIGTERM) << QStringLiteral("fifo profile");
    QTest::newRow("port lost by a hang-up, SIGTERM") << int(SIGTERM) << QStringLiteral("hang-up");
}

void ShutDownWindowTest::signalDuringAStartUpModalEndsTheProcess()
{
    // The load sequence runs before the application's event loop; a signal that arrives while
    // one of its dialogs or messages waits for the operator must still end the process, with
    // the settings written and, when connected, the stored choices applied once.
    QFETCH(int, signalNumber);
    QFETCH(QString, situation);
    TestEnvironment environment;
    // Not named after the program: "/TAVREL" anywhere in the command line selects the model.
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/profiles-XXXXXX"));
    VirtualSupply supply;
    QVERIFY(supply.start());
    PortTable::setPath(1, supply.devicePath());
    PortTable::setPath(2, folder.filePath(QStringLiteral("no-such-device")));
    ShutDownChoices stored;
    stored.filament = true;
    stored.energy = true;
    stored.store();
    SettingsStore::sync();

    const bool connects = situation != QLatin1String("no port") && situation != QLatin1String("open error");
    QStringList arguments{connects ? QStringLiteral("/COM1") : situation == QLatin1String("no port")
                                                                  ? QStringLiteral("/COM")
                                                                  : QStringLiteral("/COM2")};
    if (situation == QLatin1String("missing profile"))
        arguments << QStringLiteral("/ZQV=") + folder.filePath(QStringLiteral("missing.zqv"));
    if (situation == QLatin1String("fifo profile")) {
        const QString fifo = folder.filePath(QStringLiteral("pipe.zqv"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        arguments << QStringLiteral("/ZQV=") + fifo;
    }
    if (situation == QLatin1String("hang-up")) {
        SupplyFaults faults;
        faults.hangupAfter = 2 * readPass().size() + 5; // in the first refresh cycle
        supply.setFaults(faults);
    }

    QProcess program;
    QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
    processEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(processEnvironment);
    program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    program.start(QStringLiteral(TAVREL_PATH), arguments);
    QVERIFY(program.waitForStarted(kProcessWaitMs));
    if (situation == QLatin1String("hang-up")) {
        QVERIFY(supply.waitForHangup(kProcessWaitMs));
        // The window answers the link while an exchange is out; once a reply time-out has
        // passed, the exchange the hang-up cut has ended and its message is open.
        QTest::qWait(kLossNoticedMs);
    }
    else if (connects) // Init's read and the energy it echoes: the profile is next
        QVERIFY(supply.waitForCommands(readPass().size() + 1, kProcessWaitMs));
    QVERIFY(QTest::qWaitFor([] { return QFile::exists(RuntimeDirectory::filePath(QStringLiteral("Control"))); },
                            kProcessWaitMs));
    QVERIFY(waitsInAModal(supply));
    QCOMPARE(program.state(), QProcess::Running);
    const int before = supply.receivedCommands().size();

    ::kill(pid_t(program.processId()), signalNumber);
    const bool ended = program.waitForFinished(kProcessWaitMs);
    if (!ended)
        program.kill();
    QVERIFY(ended);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    const QStringList commands = supply.receivedCommands().mid(before);
    if (connects && situation != QLatin1String("hang-up"))
        QCOMPARE(commands, (QStringList{QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
    else
        QVERIFY2(commands.isEmpty(), qPrintable(commands.join(QLatin1Char(' '))));
    // Whatever went wrong on the way out was said on standard error, never in a box.
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(!errors.contains(QLatin1String("not open")), qPrintable(errors));
    const QString file = environment.settingsFile();
    QVERIFY(!storedText(file, QStringLiteral("Left")).isEmpty());
    QCOMPARE(storedText(file, QStringLiteral("Settings/Port")),
             QString::number(connects ? 1 : situation == QLatin1String("no port") ? 0 : 2));
    if (situation == QLatin1String("hang-up"))
        QCOMPARE(storedText(file, QStringLiteral("Settings/AutoRefresh")), QStringLiteral("0"));
    QVERIFY(!QFile::exists(RuntimeDirectory::filePath(QStringLiteral("Control"))));
    supply.stop();
}

QTEST_MAIN(ShutDownWindowTest)
#include "ShutDownWindowTest.moc"
