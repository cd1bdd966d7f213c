// The control link through a real local socket: grammar, items, lamp and exit lock, and the
// transport's defences against faulty or hostile clients.

#include "LinkTestClient.h"
#include "ModelItems.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "core/RuntimeDirectory.h"
#include "remote/ControlLink.h"
#include "remote/ControlLinkServer.h"
#include "history/MonitorHistory.h"
#include "history/HistoryLink.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using Lamp = ControlLink::Lamp;

class ControlLinkServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void executeCommands_data();
    void executeCommands();
    void pokeRequestAndErrors();
    void adviseAndUnadvise();
    void lampAndExitAcrossConversations();
    void linkErrorShowsRedThenSteadyColour();
    void errorsDuringOpenMessageDoNotStack();
    void tooManyConversationsRefused();
    void socketIsPrivate();
    void liveSocketNotTakenOverStaleOneReplaced();
    void controlCharactersRefused();
    void oversizedLinesAndInvalidUtf8();
    void manyConnectCyclesLeaveServerAnswering();
    void clientThatDoesNotReadIsDropped();
    void clientThatEndsItsInputStillGetsAnswers();
    void longAnswerKeepsItsLinesTogether();

private:
    // readBufferBytes: 0 takes in whatever arrives; a bound makes the client read in steps.
    std::unique_ptr<LinkTestClient> connectedClient(qint64 readBufferBytes = 0);

    QTemporaryDir m_runtime;
    std::unique_ptr<SupplyModel> m_host;
    std::unique_ptr<ModelItems> m_items;
    ControllerState m_state;
    std::unique_ptr<RecordingUserInterface> m_ui;
    std::unique_ptr<ControlLink> m_link;
    std::unique_ptr<ControlLinkServer> m_server;
};

void ControlLinkServerTest::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    QLocale::setDefault(QLocale::c());
    m_state.table.fill(0);
}

void ControlLinkServerTest::init()
{
    m_host = std::make_unique<SupplyModel>(m_state.table);
    m_items = std::make_unique<ModelItems>(*m_host);
    m_ui = std::make_unique<RecordingUserInterface>();
    m_link = std::make_unique<ControlLink>(*m_host, m_state, *m_ui);
    m_server = std::make_unique<ControlLinkServer>(*m_link, *m_host);
    QObject::connect(m_host.get(), &SupplyModel::itemChanged, m_server.get(), &ControlLinkServer::notifyItemChanged);
    QVERIFY2(m_server->listen(), qPrintable(m_server->errorString()));
    QCOMPARE(m_server->socketPath(), m_runtime.path() + QStringLiteral("/tavrel/Control"));
}

void ControlLinkServerTest::cleanup()
{
    m_server.reset();
    m_link.reset();
    m_ui.reset();
    m_items.reset();
    m_host.reset();
}

std::unique_ptr<LinkTestClient> ControlLinkServerTest::connectedClient(qint64 readBufferBytes)
{
    auto client = std::make_unique<LinkTestClient>();
    client->socket.setReadBufferSize(readBufferBytes);
    const int before = m_server->conversationCount();
    if (!client->open(m_server->socketPath()))
        return nullptr;
    if (!QTest::qWaitFor([&]() { return m_server->conversationCount() == before + 1; }, LinkTestClient::kWaitMs))
        return nullptr;
    return client;
}

void ControlLinkServerTest::executeCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("energyText"); // "100" = untouched
    QTest::addColumn<QString>("energyTag");
    QTest::addColumn<QString>("answer"); // the answer's start

    const QString ok = QStringLiteral("OK");
    const QString beyond = QStringLiteral("ERROR 13 ENERGY=");
    const QString noNumber = QStringLiteral("ERROR 14 ENERGY needs a number");
    QTest::newRow("upper case") << "ENERGY=150" << "150" << "changed" << ok;
    QTest::newRow("blanks around =") << "energy = 150" << "150" << "changed" << ok;
    QTest::newRow("decimal comma") << "Energy=150,5" << "150.5" << "changed" << ok;
    QTest::newRow("at the limits") << "ENERGY=1000" << "1000" << "changed" << ok;
    QTest::newRow("leading blank") << " ENERGY=150" << "100" << "" << ok;
    QTest::newRow("other name") << "ENERG=150" << "100" << "" << ok;
    QTest::newRow("other name, no number") << "FOCUS=abc" << "100" << "" << ok;
    QTest::newRow("not a number") << "ENERGY=abc" << "100" << "" << noNumber;
    QTest::newRow("name alone") << "ENERGY" << "100" << "" << noNumber;
    QTest::newRow("name with trailing blanks") << "energy   " << "100" << "" << noNumber;
    QTest::newRow("beyond the limit") << "ENERGY=2000" << "100" << "" << beyond + "2000 is out of range: Valid range is 0 ... 1000";
    QTest::newRow("below the limit") << "ENERGY=-0.5" << "100" << "" << beyond;
    QTest::newRow("beyond single precision") << "ENERGY=1E39" << "100" << "" << beyond;
    QTest::newRow("beyond single precision, negative") << "ENERGY=-1E39" << "100" << "" << beyond;
    QTest::newRow("second = belongs to the value") << "ENERGY=12=5" << "12" << "changed" << ok;
    QTest::newRow("empty text") << "" << "100" << "" << ok;
}

void ControlLinkServerTest::executeCommands()
{
    QFETCH(QString, command);
    QFETCH(QString, energyText);
    QFETCH(QString, energyTag);
    QFETCH(QString, answer);

    m_items->set(QStringLiteral("Text_Value(0)"), QStringLiteral("100"));
    auto client = connectedClient();
    QVERIFY(client);
    const QString got = client->command(QStringLiteral("EXECUTE ") + command);
    QVERIFY2(got.startsWith(answer), qPrintable(got));
    QCOMPARE(m_host->fieldText(PanelField::value(0)), energyText);
    QCOMPARE(m_host->isMarked(PanelField::value(0)), !energyTag.isEmpty());
    // The command writes the field alone; it is not a poke.
    for (const auto &change : m_items->changes)
        QCOMPARE(change.first, QStringLiteral("Text_Value(0)"));
    QVERIFY(m_ui->messages.isEmpty());
}

void ControlLinkServerTest::pokeRequestAndErrors()
{
    auto client = connectedClient();
    QVERIFY(client);
    m_items->set(QStringLiteral("Label_UMon(0)"), QStringLiteral("12.50"));

    QCOMPARE(client->command(QStringLiteral("REQUEST Label_UMon(0)")), QStringLiteral("DATA 12.50"));
    QCOMPARE(client->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));

    // The poke text is everything after the item, blanks included; CR LF ends the line.
    m_items->changes.clear();
    QCOMPARE(client->command(QStringLiteral("POKE DA_set_voltage 1.5 V\r")), QStringLiteral("OK"));
    QCOMPARE(client->command(QStringLiteral("POKE Text_Gain(3) -150")), QStringLiteral("OK"));
    QCOMPARE(client->command(QStringLiteral("POKE Text_Offset(5) 100,0")), QStringLiteral("OK"));
    const QList<QPair<QString, QString>> expectedPokes{{QStringLiteral("DA_set_voltage"), QStringLiteral("1.5 V")},
                                                       {QStringLiteral("Text_Gain(3)"), QStringLiteral("-150")},
                                                       {QStringLiteral("Text_Offset(5)"), QStringLiteral("100,0")}};
    QCOMPARE(m_items->changes, expectedPokes);
    QCOMPARE(client->command(QStringLiteral("REQUEST DA_set_voltage")), QStringLiteral("DATA 1.5 V"));

    // Refusals change nothing.
    const QMap<QString, QString> before = m_items->all();
    m_items->changes.clear();
    // A field or the control voltage takes only a number within its module's limits.
    QCOMPARE(client->command(QStringLiteral("POKE DA_set_voltage 20")),
             QStringLiteral("ERROR 13 DA_set_voltage 20 (2000 eV) is out of range: Valid range is 0 ... 1000"));
    QCOMPARE(client->command(QStringLiteral("POKE Text_Value(1) 3")),
             QStringLiteral("ERROR 13 Text_Value(1) 3 is out of range: Valid range is 0 ... 2.3"));
    QVERIFY(client->command(QStringLiteral("POKE Text_Gain(3) 10")).startsWith(QLatin1String("ERROR 13 ")));
    QVERIFY(client->command(QStringLiteral("POKE Text_Offset(7) -21")).startsWith(QLatin1String("ERROR 13 ")));
    QVERIFY(client->command(QStringLiteral("POKE Text_Value(2) 1E39")).startsWith(QLatin1String("ERROR 13 ")));
    QCOMPARE(client->command(QStringLiteral("POKE Text_Gain(3) ")),
             QStringLiteral("ERROR 14 Text_Gain(3) needs a number, not \"\""));
    QVERIFY(client->command(QStringLiteral("POKE DA_set_voltage abc")).startsWith(QLatin1String("ERROR 14 ")));
    QVERIFY(client->command(QStringLiteral("POKE Label_UMon(0) 3")).startsWith(QLatin1String("ERROR 4 ")));
    QVERIFY(client->command(QStringLiteral("POKE Text_Offset(6) 3")).startsWith(QLatin1String("ERROR 3 ")));
    QVERIFY(client->command(QStringLiteral("POKE Text_Gain(3)")).startsWith(QLatin1String("ERROR 2 ")));
    QVERIFY(client->command(QStringLiteral("POKE")).startsWith(QLatin1String("ERROR 2 ")));
    QVERIFY(client->command(QStringLiteral("REQUEST")).startsWith(QLatin1String("ERROR 2 ")));
    QVERIFY(client->command(QStringLiteral("REQUEST ")).startsWith(QLatin1String("ERROR 2 ")));
    QVERIFY(client->command(QStringLiteral("EXECUTE")).startsWith(QLatin1String("ERROR 2 ")));
    QVERIFY(client->command(QStringLiteral("REQUEST label_umon(0)")).startsWith(QLatin1String("ERROR 3 ")));
    QVERIFY(client->command(QStringLiteral("ADVISE Nothing")).startsWith(QLatin1String("ERROR 3 ")));
    QVERIFY(client->command(QStringLiteral("SET Text_Gain(3) 5")).startsWith(QLatin1String("ERROR 1 ")));
    QVERIFY(client->command(QString()).startsWith(QLatin1String("ERROR 1 ")));
    QCOMPARE(m_items->all(), before);
    QVERIFY(m_items->changes.isEmpty());
    // Protocol refusals are the client's business, not the operator's.
    QVERIFY(m_ui->messages.isEmpty());

    // An item text with a line break must not forge a second answer line.
    m_items->set(QStringLiteral("Label_CommPort"), QStringLiteral("a\nb\rc"));
    QCOMPARE(client->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA a b c"));
    QCOMPARE(client->command(QStringLiteral("REQUEST Label_IMon(4)")), QStringLiteral("DATA 0.00"));
}

void ControlLinkServerTest::adviseAndUnadvise()
{
    auto watcher = connectedClient();
    auto other = connectedClient();
    QVERIFY(watcher && other);

    QCOMPARE(watcher->command(QStringLiteral("ADVISE Text_Value(0)")), QStringLiteral("OK"));
    QCOMPARE(watcher->command(QStringLiteral("ADVISE Label_UMon(3)")), QStringLiteral("OK"));

    // A change made through another conversation reaches the watcher.
    QCOMPARE(other->command(QStringLiteral("EXECUTE ENERGY=150")), QStringLiteral("OK"));
    QCOMPARE(watcher->nextLine().value_or(QString()), QStringLiteral("CHANGED Text_Value(0) 150"));
    m_items->set(QStringLiteral("Label_UMon(3)"), QStringLiteral("3.25"));
    QCOMPARE(watcher->nextLine().value_or(QString()), QStringLiteral("CHANGED Label_UMon(3) 3.25"));
    m_items->set(QStringLiteral("Label_UMon(5)"), QStringLiteral("9")); // not advised

    QCOMPARE(watcher->command(QStringLiteral("UNADVISE Text_Value(0)")), QStringLiteral("OK"));
    QCOMPARE(other->command(QStringLiteral("EXECUTE ENERGY=200")), QStringLiteral("OK"));
    // The next line the watcher sees is the answer to its request, no CHANGED before it.
    QCOMPARE(watcher->command(QStringLiteral("REQUEST Text_Value(0)")), QStringLiteral("DATA 200"));
    QCOMPARE(watcher->command(QStringLiteral("UNADVISE Text_Value(0)")), QStringLiteral("OK")); // twice is fine
    QVERIFY(other->socket.bytesAvailable() == 0);
}

void ControlLinkServerTest::lampAndExitAcrossConversations()
{
    QCOMPARE(m_link->lamp(), Lamp::Default);
    QVERIFY(m_link->exitEnabled());

    auto first = connectedClient();
    QVERIFY(first);
    QCOMPARE(m_link->lamp(), Lamp::Open);
    QVERIFY(!m_link->exitEnabled());

    auto second = connectedClient();
    QVERIFY(second);
    first->close();
    QTRY_COMPARE(m_server->conversationCount(), 1);
    QCOMPARE(m_link->openConversations(), 1);
    QCOMPARE(m_link->lamp(), Lamp::Open);   // the other conversation is still open
    QVERIFY(!m_link->exitEnabled());

    second->close();
    QTRY_COMPARE(m_server->conversationCount(), 0);
    QCOMPARE(m_link->lamp(), Lamp::Closed);
    QVERIFY(m_link->exitEnabled());

    // Closing the server ends its conversations as closes.
    auto third = connectedClient();
    QVERIFY(third);
    QVERIFY(!m_link->exitEnabled());
    m_server->close();
    QVERIFY(m_link->exitEnabled());
    QCOMPARE(m_link->lamp(), Lamp::Closed);
    QVERIFY(!QFile::exists(m_server->socketPath()));
    QVERIFY(third->waitClosed());
}

void ControlLinkServerTest::linkErrorShowsRedThenSteadyColour()
{
    auto client = connectedClient();
    QVERIFY(client);
    QList<Lamp> lampDuringMessage;
    m_ui->onMessage = [&](const RecordingUserInterface::Message &) { lampDuringMessage.append(m_link->lamp()); };

    // An overlong line is a transport fault: the client gets ERROR, the operator the message.
    QVERIFY(client->command(QString(5000, QLatin1Char('x'))).startsWith(QLatin1String("ERROR 6 ")));
    QTRY_COMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QStringLiteral("DDE link error:6"));
    QCOMPARE(m_ui->messages[0].title, m_state.caption());
    QCOMPARE(m_ui->messages[0].icon, UserInterface::Icon::Critical);
    QCOMPARE(lampDuringMessage, QList<Lamp>{Lamp::Error});
    QCOMPARE(m_link->lamp(), Lamp::Open);
    QVERIFY(!m_link->exitEnabled()); // the error does not touch the exit lock
    QCOMPARE(client->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));

    // The conversation ends while the message is open: red until the box closes, then grey,
    // and the exit is free again at once.
    bool exitWhileOpen = false;
    m_ui->onMessage = [&](const RecordingUserInterface::Message &) {
        lampDuringMessage.append(m_link->lamp());
        client->close();
        QVERIFY(QTest::qWaitFor([&]() { return m_server->conversationCount() == 0; }, LinkTestClient::kWaitMs));
        lampDuringMessage.append(m_link->lamp());
        exitWhileOpen = m_link->exitEnabled();
    };
    client->sendRaw(QByteArray(5000, 'y') + '\n');
    QTRY_COMPARE(m_ui->messages.size(), 2);
    QCOMPARE(lampDuringMessage, (QList<Lamp>{Lamp::Error, Lamp::Error, Lamp::Error}));
    QVERIFY(exitWhileOpen);
    QCOMPARE(m_link->lamp(), Lamp::Closed);

    // Raised with no conversation open at all: grey afterwards, not a green lamp for no link.
    m_ui->onMessage = nullptr;
    m_link->reportError(-3);
    QCOMPARE(m_ui->messages.last().text, QStringLiteral("DDE link error:-3"));
    QCOMPARE(m_link->lamp(), Lamp::Closed);
}

void ControlLinkServerTest::errorsDuringOpenMessageDoNotStack()
{
    auto client = connectedClient();
    QVERIFY(client);
    // A real message box runs a nested event loop; the recording one runs it here, and the client
    // keeps sending faulty lines meanwhile.
    int depth = 0;
    int deepest = 0;
    m_ui->onMessage = [&](const RecordingUserInterface::Message &) {
        deepest = qMax(deepest, ++depth);
        for (int i = 0; i < 3; ++i) {
            client->sendRaw("\xff bad\n");
            QVERIFY(client->nextLine().value_or(QString()).startsWith(QLatin1String("ERROR 7 ")));
        }
        QVERIFY(QTest::qWaitFor([&]() { return m_link->suppressedErrors() == 3; }, LinkTestClient::kWaitMs));
        --depth;
    };
    client->sendRaw(QByteArray("\xfe\xff\n"));
    QTRY_COMPARE(m_ui->messages.size(), 1);
    QTRY_COMPARE(m_link->suppressedErrors(), 3);
    QCOMPARE(deepest, 1);
    QCOMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QStringLiteral("DDE link error:7"));
    QCOMPARE(m_link->lamp(), Lamp::Open);
    QVERIFY(!m_link->isErrorShowing());

    // Five faulty lines in one write: one box for the burst, the other four counted.
    m_ui->onMessage = nullptr;
    client->sendRaw(QByteArray("\xff" "1\n\xff" "2\n\xff" "3\n\xff" "4\n\xff" "5\n"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(client->nextLine().value_or(QString()).startsWith(QLatin1String("ERROR 7 ")));
    QTRY_COMPARE(m_link->suppressedErrors(), 3 + 4);
    // An answer after the burst: a box still pending from it would have been raised by now.
    // Nine faulty lines, nine ERRORs; the reads above took eight.
    client->sendRaw("REQUEST Label_CommPort\n");
    QVERIFY(client->nextLine().value_or(QString()).startsWith(QLatin1String("ERROR 7 ")));
    QCOMPARE(client->nextLine().value_or(QString()), QStringLiteral("DATA COM1:"));
    QCOMPARE(m_ui->messages.size(), 2);
}

void ControlLinkServerTest::tooManyConversationsRefused()
{
    std::vector<std::unique_ptr<LinkTestClient>> clients;
    for (int i = 0; i < ControlLinkServer::kMaxConversations; ++i) {
        clients.push_back(connectedClient());
        QVERIFY(clients.back());
    }
    QVERIFY(m_ui->messages.isEmpty());

    LinkTestClient extra;
    QVERIFY(extra.open(m_server->socketPath()));
    QCOMPARE(extra.nextLine().value_or(QString()), QStringLiteral("ERROR 8 too many conversations"));
    QVERIFY(extra.waitClosed());
    QTRY_COMPARE(m_ui->messages.size(), 1);
    QCOMPARE(m_ui->messages[0].text, QStringLiteral("DDE link error:8"));
    QCOMPARE(m_server->conversationCount(), ControlLinkServer::kMaxConversations);
    QCOMPARE(m_link->openConversations(), ControlLinkServer::kMaxConversations);
    QCOMPARE(m_link->lamp(), Lamp::Open);

    // A place that becomes free is taken again.
    clients.front()->close();
    QTRY_COMPARE(m_server->conversationCount(), ControlLinkServer::kMaxConversations - 1);
    auto again = connectedClient();
    QVERIFY(again);
    QCOMPARE(again->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
    QCOMPARE(clients.back()->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
}

void ControlLinkServerTest::socketIsPrivate()
{
    struct stat info {};
    QCOMPARE(::lstat(QFile::encodeName(m_server->socketPath()).constData(), &info), 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_uid, ::getuid());
    QCOMPARE(info.st_mode & 0077, 0u);
    QCOMPARE(::lstat(QFile::encodeName(RuntimeDirectory::path()).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_mode & 0777, 0700u);
}

void ControlLinkServerTest::liveSocketNotTakenOverStaleOneReplaced()
{
    const QString path = m_server->socketPath();
    struct stat before {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &before), 0);

    // A second instance finds the live socket and leaves it alone.
    ControllerState secondState;
    SupplyModel secondHost(secondState.table);
    ModelItems secondItems(secondHost);
    RecordingUserInterface secondUi;
    ControlLink secondLink(secondHost, secondState, secondUi);
    ControlLinkServer second(secondLink, secondHost);
    QVERIFY(!second.listen());
    QVERIFY(!second.errorString().isEmpty());
    struct stat after {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    auto client = connectedClient();
    QVERIFY(client);
    QCOMPARE(client->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
    client->close();
    QTRY_COMPARE(m_server->conversationCount(), 0);

    // A crashed run leaves a socket file nobody listens on: it is replaced.
    m_server->close();
    QVERIFY(!QFile::exists(path));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    qstrncpy(address.sun_path, native.constData(), sizeof address.sun_path);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(QFile::exists(path));
    QVERIFY2(second.listen(), qPrintable(second.errorString()));
    LinkTestClient secondClient;
    QVERIFY(secondClient.open(path));
    secondItems.set(QStringLiteral("Label_CommPort"), QStringLiteral("COM2:"));
    QCOMPARE(secondClient.command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM2:"));
    secondClient.close();
    second.close();

    // Something that is not a socket is not ours to remove.
    {
        QFile plain(path);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("keep");
    }
    QVERIFY(!second.listen());
    QFile plain(path);
    QVERIFY(plain.open(QIODevice::ReadOnly));
    QCOMPARE(plain.readAll(), QByteArray("keep"));
    plain.remove();
}

void ControlLinkServerTest::controlCharactersRefused()
{
    m_items->set(QStringLiteral("Text_Value(0)"), QStringLiteral("100"));
    auto client = connectedClient();
    QVERIFY(client);
    const QMap<QString, QString> before = m_items->all();
    m_items->changes.clear();
    const QList<QByteArray> lines{
        "EXECUTE ENERGY=1\t5\n",
        "EXECUTE ENERGY=1\r2\n",            // a CR inside the line, not before its LF
        QByteArray("EXECUTE ENERGY=1\0" "5\n", 19),
        "POKE DA_set_voltage 1\r5\n",
        "POKE Text_Value(0) 1\x1b[2J\n",
        "POKE Text_Value(0) 1\x7f\n",
        "POKE Text_Value(0) 1\xc2\x85" "2\n", // NEL, a control character of its own
        "REQUEST\tLabel_CommPort\n",
    };
    for (const QByteArray &line : lines) {
        client->sendRaw(line);
        const QString answer = client->nextLine().value_or(QString());
        QVERIFY2(answer.startsWith(QLatin1String("ERROR 5 ")), line.toHex().constData());
    }
    QCOMPARE(m_items->all(), before);
    QVERIFY(m_items->changes.isEmpty());
    QVERIFY(!m_host->isMarked(PanelField::value(0)));
    QVERIFY(m_ui->messages.isEmpty());
}

void ControlLinkServerTest::oversizedLinesAndInvalidUtf8()
{
    auto client = connectedClient();
    QVERIFY(client);

    // Exactly the limit is a line; the blanks are ignored by the number reading.
    const QByteArray head = "EXECUTE ENERGY=42";
    const QByteArray longest = head + QByteArray(ControlLinkServer::kMaxLineBytes - head.size(), ' ');
    client->sendRaw(longest + "\r\n");
    QCOMPARE(client->nextLine().value_or(QString()), QStringLiteral("OK"));
    QCOMPARE(m_host->fieldText(PanelField::value(0)), QStringLiteral("42"));
    m_items->changes.clear();

    // One byte more, arriving in pieces: one ERROR, the rest up to the LF is dropped, and the
    // conversation carries on with the next line.
    const QByteArray tooLong = "EXECUTE ENERGY=7" + QByteArray(ControlLinkServer::kMaxLineBytes, ' ');
    for (qsizetype at = 0; at < tooLong.size(); at += 1000) {
        client->sendRaw(tooLong.mid(at, 1000));
        QTest::qWait(1); // pacing, so that the server likely reads pieces; any split gives one ERROR
    }
    client->sendRaw("\nREQUEST Text_Value(0)\n");
    QVERIFY(client->nextLine().value_or(QString()).startsWith(QLatin1String("ERROR 6 ")));
    QCOMPARE(client->nextLine().value_or(QString()), QStringLiteral("DATA 42"));

    // A megabyte without a line end: still one ERROR, and the server answers afterwards.
    const QByteArray block(64 * 1024, 'z');
    for (int i = 0; i < 16; ++i) {
        client->sendRaw(block);
        QTest::qWait(1);
    }
    client->sendRaw("\nREQUEST Label_CommPort\n");
    QVERIFY(client->nextLine().value_or(QString()).startsWith(QLatin1String("ERROR 6 ")));
    QCOMPARE(client->nextLine().value_or(QString()), QStringLiteral("DATA COM1:"));

    // Bytes that are not UTF-8 (a cut sequence, an overlong encoding) are refused.
    client->sendRaw("EXECUTE ENERGY=5\xc3\n");
    QVERIFY(client->nextLine().value_or(QString()).startsWith(QLatin1String("ERROR 7 ")));
    client->sendRaw("POKE Text_Gain(3) \xc0\xaf\n");
    QVERIFY(client->nextLine().value_or(QString()).startsWith(QLatin1String("ERROR 7 ")));
    QCOMPARE(m_host->fieldText(PanelField::value(0)), QStringLiteral("42"));
    QVERIFY(m_items->changes.isEmpty());
    // Valid UTF-8 beyond ASCII is text like any other.
    QCOMPARE(client->command(QStringLiteral("POKE Text_Gain(3) -5 µA")), QStringLiteral("OK"));
    QCOMPARE(m_items->all().value(QStringLiteral("Text_Gain(3)")), QStringLiteral("-5 µA"));

    QTRY_COMPARE(m_ui->messages.size(), 4);
    QStringList texts;
    for (const auto &message : m_ui->messages)
        texts.append(message.text);
    QCOMPARE(texts, (QStringList{QStringLiteral("DDE link error:6"), QStringLiteral("DDE link error:6"),
                                 QStringLiteral("DDE link error:7"), QStringLiteral("DDE link error:7")}));
}

void ControlLinkServerTest::manyConnectCyclesLeaveServerAnswering()
{
    constexpr int kCycles = 200;
    for (int i = 0; i < kCycles; ++i) {
        LinkTestClient client;
        QVERIFY(client.open(m_server->socketPath()));
        if (i % 2 == 0) // half of them say something first
            QCOMPARE(client.command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
        client.close();
    }
    QTRY_COMPARE(m_server->conversationCount(), 0);
    QCOMPARE(m_link->openConversations(), 0);
    QCOMPARE(m_link->lamp(), Lamp::Closed);
    QVERIFY(m_link->exitEnabled());

    // A burst that connects and vanishes without waiting for anything.
    for (int i = 0; i < 50; ++i) {
        QLocalSocket burst;
        burst.connectToServer(m_server->socketPath());
        burst.write("REQUEST Label_CommPort\n");
        burst.abort();
    }
    auto client = connectedClient();
    QVERIFY(client);
    QCOMPARE(client->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
    client->close();
    QTRY_COMPARE(m_server->conversationCount(), 0);
    QCOMPARE(m_link->openConversations(), 0);
    QVERIFY(m_link->exitEnabled());
}

void ControlLinkServerTest::clientThatDoesNotReadIsDropped()
{
    auto sleeper = connectedClient();
    auto reader = connectedClient();
    QVERIFY(sleeper && reader);
    QCOMPARE(sleeper->command(QStringLiteral("ADVISE Label_UMon(0)")), QStringLiteral("OK"));
    // The window reports changes without giving the event loop a turn; the sleeper reads none.
    const QString bulky(64 * 1024, QLatin1Char('9'));
    for (int i = 0; i < 64; ++i)
        m_items->set(QStringLiteral("Label_UMon(0)"), bulky + QString::number(i)); // a change each time
    QCOMPARE(m_server->conversationCount(), 1);
    QVERIFY(sleeper->waitClosed());
    QCOMPARE(reader->command(QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
    QVERIFY(!m_link->exitEnabled()); // the reader's conversation still holds the lock
}

void ControlLinkServerTest::clientThatEndsItsInputStillGetsAnswers()
{
    // What "printf ... | socat - UNIX-CONNECT:..." does: send everything, shut the sending side,
    // then read the answers.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(m_server->socketPath()).constData(), sizeof address.sun_path);
    QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const QByteArray lines = "EXECUTE ENERGY=150\nREQUEST Text_Value(0)\nPOKE Label_UMon(0) 1\n";
    QCOMPARE(::send(fd, lines.constData(), size_t(lines.size()), 0), ssize_t(lines.size()));
    QCOMPARE(::shutdown(fd, SHUT_WR), 0);
    QByteArray received;
    bool ended = false;
    QVERIFY(QTest::qWaitFor([&]() {
        char chunk[512];
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0)
            received.append(chunk, got);
        ended = got == 0;
        return ended;
    }, LinkTestClient::kWaitMs));
    ::close(fd);
    QVERIFY2(received.startsWith("OK\nDATA 150\nERROR 4 ") && received.endsWith('\n'), received.constData());
    QTRY_COMPARE(m_server->conversationCount(), 0);

    // Sent and gone at once: the command is still carried out.
    LinkTestClient client;
    QVERIFY(client.open(m_server->socketPath()));
    client.sendRaw("EXECUTE ENERGY=77\n");
    client.close();
    QTRY_COMPARE(m_host->fieldText(PanelField::value(0)), QStringLiteral("77"));
    QTRY_COMPARE(m_server->conversationCount(), 0);
    QVERIFY(m_link->exitEnabled());
}

void ControlLinkServerTest::longAnswerKeepsItsLinesTogether()
{
    // Megabytes of SAMPLE lines go out as the client reads; a change of an advised item and the
    // answer to a request sent behind HISTORY wait until its OK.
    constexpr int kSamples = 20000;
    MonitorHistory history;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int n = 0; n < kSamples; ++n)
        history.addSample(now - kSamples + n, {});
    HistoryLink historyLink(history);
    m_server->addExtension(&historyLink);
    // The client shares our event loop: unbounded, it would take in the whole answer while
    // we wait. Bounded, it holds a few lines until we read; the rest waits in the kernel's
    // socket buffer and the server's output, which hold a fraction of the answer's lines.
    constexpr qint64 kClientReadBufferBytes = 4 * 1024;
    auto client = connectedClient(kClientReadBufferBytes);
    QVERIFY(client);
    QCOMPARE(client->command(QStringLiteral("ADVISE Label_UMon(0)")), QStringLiteral("OK"));
    client->sendRaw("HISTORY 3600\nREQUEST Label_CommPort\n");
    // The answer has begun and cannot end before we read: the change comes in the middle of it.
    QVERIFY(QTest::qWaitFor([&]() { return client->socket.canReadLine(); }, LinkTestClient::kWaitMs));
    QCOMPARE(client->socket.peek(7), QByteArray("SAMPLE "));
    m_items->set(QStringLiteral("Label_UMon(0)"), QStringLiteral("7.5"));
    int samples = 0;
    std::optional<QString> line;
    while ((line = client->nextLine()) && line->startsWith(QStringLiteral("SAMPLE ")))
        ++samples;
    QCOMPARE(samples, kSamples);
    QCOMPARE(line.value_or(QString()), QStringLiteral("OK %1").arg(kSamples));
    QCOMPARE(client->nextLine().value_or(QString()), QStringLiteral("CHANGED Label_UMon(0) 7.5"));
    QVERIFY(client->nextLine().value_or(QString()).startsWith(QStringLiteral("DATA ")));
    QCOMPARE(m_server->conversationCount(), 1);
}

QTEST_GUILESS_MAIN(ControlLinkServerTest)
#include "ControlLinkServerTest.moc"
