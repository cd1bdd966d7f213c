// The control link end to end: the real window with the virtual supply on a pseudo-terminal,
// clients on the real local socket in this thread and the built tavrel-control program.

#include "LinkTestClient.h"
#include "WindowFixture.h"

#include "core/RuntimeDirectory.h"
#include "app/ShutDownSequence.h"
#include "panel/IndicatorLamp.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

constexpr int kToolWaitMs = 30000; // the tool answers at once; only a hang should reach this
constexpr int kCycles = 200;
// Sockets and descriptors a run of many conversations may leave behind at most: a leak of one
// a conversation would show as about kCycles.
constexpr int kFdSlack = 10;
const QColor kGreen(0, 255, 0);
const QColor kGrey(192, 192, 192);
const QColor kRed(255, 0, 0);

QString socketPath()
{
    return RuntimeDirectory::filePath(QStringLiteral("Control"));
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

struct ToolResult
{
    int exitCode = -1;
    QString out;
};

// Runs tavrel-control while this thread's event loop keeps serving the window's link.
ToolResult runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TAVREL_CONTROL_PATH), arguments);
    ToolResult result;
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kToolWaitMs))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    return result;
}

} // namespace

class ControlLinkWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void executeWritesTheEnergyAndTheNextCycleSendsIt();
    void toolDrivesTheWindow();
    void requestAndAdviseOfAMonitor();
    void lampAndExitFollowTheConversations();
    void refusedLinesChangeNothing();
    void manyConversationsLeaveTheProgramResponsive();

private:
    static IndicatorLamp *lamp(MainWindow &window)
    {
        return window.findChild<IndicatorLamp *>(QStringLiteral("Picture_DDE"));
    }
    static QAction *exitAction(MainWindow &window)
    {
        return window.findChild<QAction *>(QStringLiteral("mnuExit"));
    }
};

void ControlLinkWindowTest::executeWritesTheEnergyAndTheNextCycleSendsIt()
{
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    window.state().setAutoRefresh(false); // only the marks go out
    LinkTestClient client;
    QVERIFY(client.open(socketPath()));

    const struct
    {
        const char *command;
        const char *field;
        const char *wire;
    } cases[] = {
        {"ENERGY=150", "150", "VEN150"},
        {"energy = 150", "150", "VEN150"},
        {"Energy=150,5", "150.5", "VEN150.5"},
        {"ENERGY=1000", "1000", "VEN1000"},
    };
    for (const auto &c : cases) {
        const QString command = QString::fromLatin1(c.command);
        window.model().setFieldText(PanelField::value(0), QStringLiteral("100"));
        // A screen value and a gain pending as well: the energy goes first, in its place.
        window.model().setFieldText(PanelField::value(2), QStringLiteral("6.5"));
        window.model().markField(PanelField::value(2));
        window.model().setFieldText(PanelField::gain(3), QStringLiteral("-20"));
        window.model().markField(PanelField::gain(3));

        QCOMPARE(client.command(QStringLiteral("EXECUTE ") + command), QStringLiteral("OK"));
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QString::fromLatin1(c.field));
        QVERIFY2(fixture.supply.receivedCommands().isEmpty(), c.command); // nothing at once

        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        const QStringList expected = {QString::fromLatin1(c.wire), QStringLiteral("VSC6500"), QStringLiteral("GWE-20")};
        QCOMPARE(fixture.commands(expected.size()), expected);
        QVERIFY(!window.model().isMarked(PanelField::value(0)));
        fixture.supply.clearLog();
    }
    QVERIFY(fixture.ui.messages.isEmpty());

    // Beyond the limits or no number: refused, nothing written, marked or sent, no message.
    window.model().setFieldText(PanelField::value(0), QStringLiteral("100"));
    const QString cathodeBefore = window.model().fieldText(PanelField::value(1));
    const QString controlVoltageBefore = window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text();
    for (const char *refused : {"EXECUTE ENERGY=2000", "EXECUTE ENERGY=abc", "EXECUTE ENERGY", "POKE DA_set_voltage 20",
                                "POKE Text_Value(1) 3", "POKE Text_Gain(3) x"}) {
        QVERIFY2(client.command(QLatin1String(refused)).startsWith(QLatin1String("ERROR 1")), refused);
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("100"));
        QVERIFY(!window.model().isMarked(PanelField::value(0)));
    }
    QCOMPARE(window.model().fieldText(PanelField::value(1)), cathodeBefore);
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text(), controlVoltageBefore);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QVERIFY(fixture.ui.messages.isEmpty());

    // A blank before the name and a name that is not ENERGY: acknowledged, nothing changes.
    window.model().setFieldText(PanelField::value(0), QStringLiteral("100"));
    for (const QString &command : {QStringLiteral(" ENERGY=150"), QStringLiteral("ENERG=150")}) {
        QCOMPARE(client.command(QStringLiteral("EXECUTE ") + command), QStringLiteral("OK"));
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("100"));
        QVERIFY(!window.model().isMarked(PanelField::value(0)));
    }
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList());

    // A poke of the control voltage sends the energy at once, before the answer.
    QCOMPARE(client.command(QStringLiteral("POKE DA_set_voltage 1,5")), QStringLiteral("OK"));
    QCOMPARE(fixture.supply.receivedCommands(), QStringList{QStringLiteral("VEN150")});
    QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("150"));
    QVERIFY(!window.model().isMarked(PanelField::value(0)));
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text(), QStringLiteral("1,5"));
    QVERIFY(fixture.ui.messages.isEmpty());
}

void ControlLinkWindowTest::toolDrivesTheWindow()
{
    WindowFixture fixture;
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(120.0f); });
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    window.state().setAutoRefresh(false);

    ToolResult result = runTool({QStringLiteral("execute"), QStringLiteral("energy"), QStringLiteral("="),
                                 QStringLiteral("150,5")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("150.5"));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commands(1), QStringList{QStringLiteral("VEN150.5")});
    fixture.supply.clearLog();

    result = runTool({QStringLiteral("poke"), QStringLiteral("DA_set_voltage"), QStringLiteral("1,5")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(fixture.supply.receivedCommands(), QStringList{QStringLiteral("VEN150")});

    const QString monitor = window.findChild<QLabel *>(QStringLiteral("Label_UMon(0)"))->text();
    QCOMPARE(monitor, QStringLiteral("120.0 "));
    result = runTool({QStringLiteral("request"), QStringLiteral("Label_UMon(0)")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, monitor + QLatin1Char('\n'));

    // Every tool run was a conversation of its own, opened and closed again.
    QTRY_COMPARE(window.controlLinkServer().conversationCount(), 0);
    QVERIFY(exitAction(window)->isEnabled());
    QCOMPARE(lamp(window)->color(), kGrey);
}

void ControlLinkWindowTest::requestAndAdviseOfAMonitor()
{
    WindowFixture fixture;
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(100.0f); });
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const QLabel *monitor = window.findChild<QLabel *>(QStringLiteral("Label_UMon(0)"));
    LinkTestClient client;
    QVERIFY(client.open(socketPath()));

    QCOMPARE(client.command(QStringLiteral("REQUEST Label_UMon(0)")), QStringLiteral("DATA 100.0 "));
    QCOMPARE(client.command(QStringLiteral("ADVISE Label_UMon(0)")), QStringLiteral("OK"));

    // A read-back that finds the same reading changes nothing and reports nothing.
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(client.command(QStringLiteral("REQUEST Text_Value(0)")), QStringLiteral("DATA 100"));

    // The supply's energy moves (a knob on the front panel): the next read-back reports it.
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(250.0f); });
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(monitor->text(), QStringLiteral("250.0 "));
    QCOMPARE(client.nextLine().value_or(QString()), QStringLiteral("CHANGED Label_UMon(0) 250.0 "));

    QCOMPARE(client.command(QStringLiteral("UNADVISE Label_UMon(0)")), QStringLiteral("OK"));
    fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(300.0f); });
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(monitor->text(), QStringLiteral("300.0 "));
    QCOMPARE(client.command(QStringLiteral("REQUEST Label_UMon(0)")), QStringLiteral("DATA 300.0 "));

    // Only reads went to the supply: the link itself never talks to it.
    for (const QString &command : fixture.supply.receivedCommands())
        QVERIFY2(command.startsWith(QLatin1Char('R')), qPrintable(command));
}

void ControlLinkWindowTest::lampAndExitFollowTheConversations()
{
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    int shutDownDialogs = 0;
    window.shutDown().setDialogRunner([&shutDownDialogs] {
        ++shutDownDialogs;
        return ShutDownSequence::DialogResult{};
    });
    QCOMPARE(lamp(window)->color(), window.palette().color(QPalette::Button)); // before the first link
    QVERIFY(exitAction(window)->isEnabled());

    auto first = std::make_unique<LinkTestClient>();
    QVERIFY(first->open(socketPath()));
    QTRY_COMPARE(lamp(window)->color(), kGreen);
    QVERIFY(!exitAction(window)->isEnabled());

    // A transport error: red while the operator reads the message, green again after.
    QColor lampDuringMessage;
    bool exitDuringMessage = true;
    fixture.ui.onMessage = [&](const RecordingUserInterface::Message &) {
        lampDuringMessage = lamp(window)->color();
        exitDuringMessage = exitAction(window)->isEnabled();
    };
    first->sendRaw(QByteArray(ControlLinkServer::kMaxLineBytes + 100, 'A') + '\n');
    QVERIFY(first->nextLine().value_or(QString()).startsWith(QStringLiteral("ERROR 6 ")));
    QTRY_COMPARE(fixture.ui.messages.size(), 1);
    QCOMPARE(fixture.ui.messages[0].text, QStringLiteral("DDE link error:6"));
    QCOMPARE(fixture.ui.messages[0].title, window.windowTitle());
    QCOMPARE(fixture.ui.messages[0].icon, UserInterface::Icon::Critical);
    QCOMPARE(lampDuringMessage, kRed);
    QVERIFY(!exitDuringMessage);
    QCOMPARE(lamp(window)->color(), kGreen);
    QVERIFY(!exitAction(window)->isEnabled());
    fixture.ui.onMessage = nullptr;
    // The conversation survived its overlong line.
    QCOMPARE(first->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));

    // Two conversations: the first to end leaves the lamp green and the exit locked.
    LinkTestClient second;
    QVERIFY(second.open(socketPath()));
    QTRY_COMPARE(window.controlLinkServer().conversationCount(), 2);
    first->close();
    first.reset();
    QTRY_COMPARE(window.controlLinkServer().conversationCount(), 1);
    QCOMPARE(lamp(window)->color(), kGreen);
    QVERIFY(!exitAction(window)->isEnabled());

    // Closing through the frame while a link is open: beep and message, no dialog, still there.
    fixture.ui.clear();
    QVERIFY(!window.close());
    QVERIFY(!window.isUnloaded());
    QVERIFY(window.isVisible());
    QCOMPARE(fixture.ui.beeps, 1);
    QCOMPARE(fixture.ui.messages.size(), 1);
    QCOMPARE(fixture.ui.messages[0].text, ShutDownSequence::kLinkOpenMessage);
    QCOMPARE(fixture.ui.messages[0].icon, UserInterface::Icon::Exclamation);
    QCOMPARE(shutDownDialogs, 0);

    second.close();
    QTRY_COMPARE(lamp(window)->color(), kGrey);
    QVERIFY(exitAction(window)->isEnabled());
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
}

void ControlLinkWindowTest::refusedLinesChangeNothing()
{
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    window.model().setFieldText(PanelField::value(0), QStringLiteral("100"));
    LinkTestClient client;
    QVERIFY(client.open(socketPath()));

    // A control character would carry a second command to the supply: refused, not a link error.
    client.sendRaw("EXECUTE ENERGY=150\x01\n");
    QVERIFY(client.nextLine().value_or(QString()).startsWith(QStringLiteral("ERROR 5 ")));
    client.sendRaw("POKE Text_Value(0) 150\rVEN0\n");
    QVERIFY(client.nextLine().value_or(QString()).startsWith(QStringLiteral("ERROR 5 ")));
    QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("100"));
    QVERIFY(!window.model().isMarked(PanelField::value(0)));

    // Exactly at the limit is a line; one byte more is not.
    const QByteArray prefix = "EXECUTE ENERGY=1";
    QByteArray longest = prefix + QByteArray(ControlLinkServer::kMaxLineBytes - prefix.size(), ' ');
    QCOMPARE(client.command(QString::fromLatin1(longest)), QStringLiteral("OK"));
    QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("1"));
    client.sendRaw(longest + " \n");
    QVERIFY(client.nextLine().value_or(QString()).startsWith(QStringLiteral("ERROR 6 ")));
    QTRY_COMPARE(fixture.ui.messages.size(), 1);

    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    window.state().setAutoRefresh(false);
    fixture.supply.clearLog();
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList()); // nothing of the refused lines pending
}

void ControlLinkWindowTest::manyConversationsLeaveTheProgramResponsive()
{
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    const int descriptorsBefore = openDescriptors();

    for (int i = 0; i < kCycles; ++i) {
        LinkTestClient client;
        QVERIFY(client.open(socketPath()));
        if (i % 10 == 0) // some with a conversation, most only connecting and leaving
            QCOMPARE(client.command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
        client.close();
    }
    QTRY_COMPARE(window.controlLinkServer().conversationCount(), 0);
    QTRY_COMPARE(lamp(window)->color(), kGrey);
    QVERIFY(exitAction(window)->isEnabled());
    QTRY_VERIFY2(openDescriptors() <= descriptorsBefore + kFdSlack,
                 qPrintable(QStringLiteral("%1 descriptors, %2 before").arg(openDescriptors()).arg(descriptorsBefore)));
    QVERIFY(fixture.ui.messages.isEmpty());

    // A refresh cycle still runs, and the link still answers.
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commands(readPass().size()), readPass());
    LinkTestClient client;
    QVERIFY(client.open(socketPath()));
    QCOMPARE(client.command(QStringLiteral("EXECUTE ENERGY=42")), QStringLiteral("OK"));
    QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("42"));
}

QTEST_MAIN(ControlLinkWindowTest)
#include "ControlLinkWindowTest.moc"
