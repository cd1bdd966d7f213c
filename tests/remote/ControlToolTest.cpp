// The command-line client against a real server in this process: answers, output, exit codes.

#include "ModelItems.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "journal/JournalFiles.h"
#include "remote/ControlLink.h"
#include "remote/ControlLinkServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int kFollowerPollMs = 200; // how often tavrel-control looks for new journal lines

constexpr int kWaitMs = 30000; // the tool answers at once; only a hang should reach this

struct ToolResult
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class ControlToolTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandsAndExitCodes();
    void usageErrors();
    void noRunningProgram();
    void adviseFollowsChanges();
    void socketOptionAndJournal();

private:
    // Runs the tool while this thread's event loop keeps serving the link.
    ToolResult run(const QStringList &arguments);

    QTemporaryDir m_runtime;
    std::unique_ptr<SupplyModel> m_host;
    std::unique_ptr<ModelItems> m_items;
    ControllerState m_state;
    std::unique_ptr<RecordingUserInterface> m_ui;
    std::unique_ptr<ControlLink> m_link;
    std::unique_ptr<ControlLinkServer> m_server;
};

void ControlToolTest::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    QLocale::setDefault(QLocale::c());
    QVERIFY(QFile::exists(QStringLiteral(TAVREL_CONTROL_PATH)));
}

void ControlToolTest::init()
{
    m_host = std::make_unique<SupplyModel>(m_state.table);
    m_items = std::make_unique<ModelItems>(*m_host);
    m_ui = std::make_unique<RecordingUserInterface>();
    m_state.table.fill(0);
    m_link = std::make_unique<ControlLink>(*m_host, m_state, *m_ui);
    m_server = std::make_unique<ControlLinkServer>(*m_link, *m_host);
    QObject::connect(m_host.get(), &SupplyModel::itemChanged, m_server.get(), &ControlLinkServer::notifyItemChanged);
    QVERIFY2(m_server->listen(), qPrintable(m_server->errorString()));
}

void ControlToolTest::cleanup()
{
    m_server.reset();
    m_link.reset();
    m_ui.reset();
    m_items.reset();
    m_host.reset();
}

ToolResult ControlToolTest::run(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TAVREL_CONTROL_PATH), arguments);
    ToolResult result;
    if (!QTest::qWaitFor([&]() { return process.state() == QProcess::NotRunning; }, kWaitMs))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void ControlToolTest::commandsAndExitCodes()
{
    m_items->set(QStringLiteral("Label_UMon(0)"), QStringLiteral("12.50"));
    ToolResult result = run({QStringLiteral("request"), QStringLiteral("Label_UMon(0)")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QStringLiteral("12.50\n"));

    // Several words are one text: "energy = 150".
    result = run({QStringLiteral("execute"), QStringLiteral("energy"), QStringLiteral("="), QStringLiteral("150,5")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QString());
    QCOMPARE(m_host->fieldText(PanelField::value(0)), QStringLiteral("150.5"));
    QVERIFY(m_host->isMarked(PanelField::value(0)));

    m_items->changes.clear();
    result = run({QStringLiteral("poke"), QStringLiteral("DA_set_voltage"), QStringLiteral("1.5")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(m_items->changes.value(0), qMakePair(QStringLiteral("DA_set_voltage"), QStringLiteral("1.5")));

    // The program's refusals come back as exit code 1 with its text.
    result = run({QStringLiteral("poke"), QStringLiteral("Label_UMon(0)"), QStringLiteral("3")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QLatin1String("4 item Label_UMon(0) takes no poke")), qPrintable(result.err));
    result = run({QStringLiteral("request"), QStringLiteral("Nothing")});
    QCOMPARE(result.exitCode, 1);
    QCOMPARE(m_items->changes.size(), 1);
    QTRY_COMPARE(m_server->conversationCount(), 0);
    QVERIFY(m_link->exitEnabled());
}

void ControlToolTest::usageErrors()
{
    const QList<QStringList> wrong{
        {},
        {QStringLiteral("execute")},
        {QStringLiteral("poke"), QStringLiteral("Text_Gain(3)")},
        {QStringLiteral("request")},
        {QStringLiteral("request"), QStringLiteral("a"), QStringLiteral("b")},
        {QStringLiteral("reboot")},
        {QStringLiteral("--socket")},
        {QStringLiteral("history")},
        {QStringLiteral("journal"), QStringLiteral("--all")},
        // A line break would let one argument carry a second command.
        {QStringLiteral("execute"), QStringLiteral("ENERGY=1\nPOKE DA_set_voltage 9")},
    };
    for (const QStringList &arguments : wrong) {
        const ToolResult result = run(arguments);
        QVERIFY2(result.exitCode == 2, qPrintable(arguments.join(QLatin1Char('|'))));
        QVERIFY(result.err.contains(QLatin1String("Usage: tavrel-control")));
    }
    QVERIFY(m_items->changes.isEmpty());
    QVERIFY(!m_host->isMarked(PanelField::value(0)));

    const ToolResult help = run({QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.contains(QLatin1String("advise ITEM")));
}

void ControlToolTest::noRunningProgram()
{
    const QString path = m_server->socketPath();
    m_server->close();
    const ToolResult result = run({QStringLiteral("request"), QStringLiteral("Label_CommPort")});
    QCOMPARE(result.exitCode, 3);
    QCOMPARE(result.err, QStringLiteral("no running tavrel program: ") + path + QLatin1Char('\n'));
}

void ControlToolTest::adviseFollowsChanges()
{
    QProcess process;
    process.start(QStringLiteral(TAVREL_CONTROL_PATH), {QStringLiteral("advise"), QStringLiteral("Label_IMon(4)")});
    // Wait until the tool holds its advise: a request made after it sees the same conversation.
    QVERIFY(QTest::qWaitFor([&]() { return m_server->conversationCount() == 1; }, kWaitMs));
    QVERIFY(QTest::qWaitFor([&]() { return process.state() == QProcess::Running; }, kWaitMs));
    // The ADVISE may still be on its way; keep changing until the tool prints.
    int value = 0;
    QVERIFY(QTest::qWaitFor([&]() {
        m_items->set(QStringLiteral("Label_IMon(4)"), QStringLiteral("0.%1").arg(++value));
        return process.canReadLine();
    }, kWaitMs));
    const QString first = QString::fromUtf8(process.readLine());
    QVERIFY(first.startsWith(QLatin1String("0.")));
    m_items->set(QStringLiteral("Label_UMon(3)"), QStringLiteral("other item"));
    m_items->set(QStringLiteral("Label_IMon(4)"), QStringLiteral("7.25 mA"));
    QByteArray seen;
    QVERIFY(QTest::qWaitFor([&]() {
        seen += process.readAllStandardOutput();
        return seen.endsWith("7.25 mA\n") || process.state() != QProcess::Running;
    }, kWaitMs));
    QCOMPARE(process.state(), QProcess::Running);
    QVERIFY(!seen.contains("other item"));

    // The program going away ends the tool with "connection failed".
    m_server->close();
    QVERIFY(QTest::qWaitFor([&]() { return process.state() == QProcess::NotRunning; }, kWaitMs));
    QCOMPARE(process.exitCode(), 3);
}


void ControlToolTest::socketOptionAndJournal()
{
    // Another runtime folder than the program's: --socket still finds it.
    QTemporaryDir elsewhere;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), elsewhere.path());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), elsewhere.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), elsewhere.path()); // no settings: the journal is off
    m_items->set(QStringLiteral("Label_CommPort"), QStringLiteral("COM1:"));
    const auto tool = [&environment](const QStringList &arguments, QProcess &process) {
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TAVREL_CONTROL_PATH), arguments);
    };
    QProcess request;
    tool({QStringLiteral("--socket"), m_server->socketPath(), QStringLiteral("request"), QStringLiteral("Label_CommPort")},
         request);
    QVERIFY(QTest::qWaitFor([&] { return request.state() == QProcess::NotRunning; }, kWaitMs));
    QCOMPARE(request.exitCode(), 0);
    QCOMPARE(request.readAllStandardOutput(), QByteArray("COM1:\n"));
    // A relative path as typed from another folder is a path, not a socket name.
    QProcess relative;
    const QFileInfo socket(m_server->socketPath());
    relative.setWorkingDirectory(socket.dir().absolutePath() + QStringLiteral("/.."));
    tool({QStringLiteral("--socket"), socket.dir().dirName() + QLatin1Char('/') + socket.fileName(), QStringLiteral("request"),
          QStringLiteral("Label_CommPort")},
         relative);
    QVERIFY(QTest::qWaitFor([&] { return relative.state() == QProcess::NotRunning; }, kWaitMs));
    QCOMPARE(relative.readAllStandardError(), QByteArray());
    QCOMPARE(relative.readAllStandardOutput(), QByteArray("COM1:\n"));

    // The journal: none of today is an error; one is printed, and followed as it grows.
    QProcess missing;
    tool({QStringLiteral("journal")}, missing);
    QVERIFY(missing.waitForFinished(kWaitMs));
    QCOMPARE(missing.exitCode(), 1);
    QDir().mkpath(elsewhere.path() + QStringLiteral("/tavrel"));
    QFile journal(elsewhere.path() + QStringLiteral("/tavrel/")
                  + JournalFiles::fileNameFor(QDateTime::currentMSecsSinceEpoch()));
    QVERIFY(journal.open(QIODevice::Append));
    journal.write("{\"n\": 1}\n");
    journal.flush();
    QProcess print;
    tool({QStringLiteral("journal")}, print);
    QVERIFY(print.waitForFinished(kWaitMs));
    QCOMPARE(print.readAllStandardOutput(), QByteArray("{\"n\": 1}\n"));
    QProcess follow;
    tool({QStringLiteral("journal"), QStringLiteral("--follow")}, follow);
    QVERIFY(follow.waitForStarted(kWaitMs));
    QByteArray seen;
    QVERIFY(QTest::qWaitFor([&] { return (seen += follow.readAllStandardOutput()).endsWith("1}\n"); }, kWaitMs));
    journal.write("{\"n\": 2");
    journal.flush();
    QTest::qWait(2 * 200); // pacing: two of the follower's polls likely see the half line
    journal.write("}\n"); // whole lines only, however they are written
    journal.flush();
    QVERIFY(QTest::qWaitFor([&] { return (seen += follow.readAllStandardOutput()).endsWith("2}\n"); }, kWaitMs));
    QCOMPARE(seen, QByteArray("{\"n\": 1}\n{\"n\": 2}\n"));
    // Following while the journal is off says so once, however long it waits.
    QByteArray said;
    QVERIFY(QTest::qWaitFor([&] { return (said += follow.readAllStandardError()).contains("the journal is off"); }, kWaitMs));
    journal.write("{\"n\": 3}\n");
    journal.flush();
    QVERIFY(QTest::qWaitFor([&] { return (seen += follow.readAllStandardOutput()).endsWith("3}\n"); }, kWaitMs));
    QCOMPARE((said + follow.readAllStandardError()).count("the journal is off"), 1);
    // A partial line the program cuts back and writes over is never printed.
    const qint64 lineStart = journal.size();
    journal.write("{\"n\": 4");
    journal.flush();
    QTest::qWait(2 * kFollowerPollMs); // pacing: the follower takes the partial line in
    QVERIFY(journal.resize(lineStart)); // appending, the next write goes to the new end
    journal.write("{\"n\": 5}\n");
    journal.flush();
    QVERIFY(QTest::qWaitFor([&] { return (seen += follow.readAllStandardOutput()).endsWith("5}\n"); }, kWaitMs));
    QVERIFY2(!seen.contains("\"n\": 4"), seen.constData());
    follow.kill();
    follow.waitForFinished(kWaitMs);
}

QTEST_GUILESS_MAIN(ControlToolTest)
#include "ControlToolTest.moc"
