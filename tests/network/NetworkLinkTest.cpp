// The lab network through a real broker on 127.0.0.1: the program in-process on the virtual
// supply, and the broker's own clients (mosquitto_sub, mosquitto_rr, mosquitto_pub) as peers.
#include "BrokerFixture.h"
#include "WindowFixture.h"

#include "app/ToolSet.h"
#include "core/RuntimeDirectory.h"
#include "core/SettingsStore.h"
#include "network/MqttClient.h"
#include "network/NetworkLink.h"
#include "panel/IndicatorLamp.h"
#include "panel/ModulePanel.h"
#include "device/PortTable.h"
#include "ramp/EnergyRamp.h"
#include "remote/LinkGrammar.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kPrefix = QStringLiteral("test/lab");
constexpr int kWaitMs = 10000; // only a hang reaches it

QString topic(const QString &subtopic)
{
    return kPrefix + QLatin1Char('/') + subtopic;
}

void storeSettings(const BrokerFixture &broker, bool remoteControl)
{
    const QString section = NetworkSettings::kSection;
    SettingsStore::writeText(section, QStringLiteral("Enabled"), QStringLiteral("1"));
    SettingsStore::writeText(section, QStringLiteral("Host"), broker.host());
    SettingsStore::writeText(section, QStringLiteral("Port"), QString::number(broker.port()));
    SettingsStore::writeText(section, QStringLiteral("Prefix"), kPrefix);
    SettingsStore::writeText(section, QStringLiteral("RemoteControl"), remoteControl ? QStringLiteral("1") : QStringLiteral("0"));
}

// A broker client program, run while the window's loop goes on.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(kWaitMs))
        return QStringLiteral("<not started>");
    if (!QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, kWaitMs))
        process.kill();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// One request and its answer, as a client on another PC would send it.
QString request(const BrokerFixture &broker, const QString &line)
{
    return run(QStringLiteral("mosquitto_rr"), broker.hostArguments()
                                                   + QStringList{QStringLiteral("-t"), topic(QStringLiteral("cmd")),
                                                                 QStringLiteral("-e"), QStringLiteral("test/reply"),
                                                                 QStringLiteral("-m"), line, QStringLiteral("-W"),
                                                                 QStringLiteral("5")});
}

// Everything published under the prefix, "topic payload" a line, as mosquitto_sub -v prints it.
class Subscriber
{
public:
    Subscriber(const BrokerFixture &broker, const QString &filter)
    {
        m_process.start(QStringLiteral("mosquitto_sub"),
                        broker.hostArguments() + QStringList{QStringLiteral("-V"), QStringLiteral("mqttv5"),
                                                             QStringLiteral("-v"), QStringLiteral("-t"), filter});
        m_process.waitForStarted(kWaitMs);
    }
    ~Subscriber()
    {
        m_process.kill();
        m_process.waitForFinished(kWaitMs);
    }
    // Waits for a line that starts with `start`.
    bool sees(const QString &start)
    {
        return QTest::qWaitFor([&] { return !linesStartingWith(start).isEmpty(); }, kWaitMs);
    }
    QStringList linesStartingWith(const QString &start)
    {
        m_lines += QString::fromUtf8(m_process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return m_lines.filter(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(start)));
    }
    void clear()
    {
        linesStartingWith(QString());
        m_lines.clear();
    }

private:
    QProcess m_process;
    QStringList m_lines;
};

// A client of our own on the broker (a camera stand-in, or a sender of raw payloads).
bool startClient(MqttClient &client, const BrokerFixture &broker)
{
    MqttClient::Options options;
    options.host = broker.host();
    options.port = broker.port();
    return client.start(options) && QTest::qWaitFor([&client] { return client.isConnected(); }, kWaitMs);
}

// A command with the response topic that makes it a conversation.
bool sendCommand(MqttClient &client, const QByteArray &payload, const QString &responseTopic, bool retain = false)
{
    MqttClient::Publication publication;
    publication.topic = topic(QStringLiteral("cmd"));
    publication.payload = payload;
    publication.qos = 1;
    publication.retain = retain;
    publication.responseTopic = responseTopic;
    return client.publish(publication);
}

bool connected(MainWindow &window)
{
    return QTest::qWaitFor([&window] { return window.tools().network().state() == NetworkLink::State::Connected; },
                           kWaitMs);
}

// The program on the virtual supply, quiet, with the network on through `broker`.
bool startWithNetwork(WindowFixture &fixture, const BrokerFixture &broker, bool remoteControl)
{
    storeSettings(broker, remoteControl);
    return fixture.startQuiet() && connected(*fixture.window);
}

} // namespace

class NetworkLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!BrokerFixture::isInstalled())
            QSKIP("mosquitto is not installed (scripts/install-deps.sh installs it)");
    }

    void settingsAndThePasswordFile()
    {
        TestEnvironment environment;
        // Off by default, and nothing of the network shows.
        const NetworkSettings defaults = NetworkSettings::load();
        QVERIFY(!defaults.enabled);
        QVERIFY(!defaults.remoteControl);
        QVERIFY(defaults.effectivePrefix().startsWith(QLatin1String("tavrel/")));
        QCOMPARE(defaults.effectiveClientId(), NetworkSettings::clientIdFor(defaults.effectivePrefix()));

        // The password alone, from a file only its owner may read.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("password"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("s3cret word\n");
        file.close();
        QString error;
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(!NetworkSettings::readPassword(path, error));
        QVERIFY(error.contains(QLatin1String("0600")));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(NetworkSettings::readPassword(path, error).value_or(QString()), QStringLiteral("s3cret word"));

        // A readable password file keeps the network from starting, and says why.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        WindowFixture fixture;
        NetworkSettings settings;
        settings.enabled = true;
        settings.port = 1; // never reached
        settings.username = QStringLiteral("op");
        settings.passwordFile = path;
        QVERIFY(!fixture.start(QString()));
        QVERIFY(!fixture.window->panel().networkLamp().isVisible());
        fixture.window->tools().network().apply(settings);
        QCOMPARE(fixture.window->tools().network().state(), NetworkLink::State::Failed);
        QVERIFY(fixture.window->tools().network().stateText().contains(QLatin1String("0600")));
        QVERIFY(fixture.window->panel().networkLamp().isVisibleTo(fixture.window.get()));
    }

    void aLabBrokerWithTlsAndAPassword()
    {
        // A certificate authority and the broker's certificate for 127.0.0.1, made here; the
        // broker takes only TLS and a known user.
        BrokerFixture broker;
        const QDir dir(broker.folder());
        const auto openssl = [&](const QStringList &arguments) {
            QProcess process;
            process.setWorkingDirectory(dir.path());
            process.start(QStringLiteral("openssl"), arguments);
            return process.waitForFinished(kWaitMs) && process.exitCode() == 0;
        };
        QVERIFY(openssl(QStringLiteral("req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=test-ca -keyout ca.key -out ca.crt")
                            .split(QLatin1Char(' '))));
        QVERIFY(openssl(QStringLiteral("req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout broker.key -out broker.csr")
                            .split(QLatin1Char(' '))));
        QFile names(dir.filePath(QStringLiteral("names.ext")));
        QVERIFY(names.open(QIODevice::WriteOnly));
        names.write("subjectAltName=IP:127.0.0.1\n");
        names.close();
        QVERIFY(openssl(QStringLiteral("x509 -req -in broker.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 "
                                       "-extfile names.ext -out broker.crt")
                            .split(QLatin1Char(' '))));
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                   {QStringLiteral("-b"), QStringLiteral("-c"), dir.filePath(QStringLiteral("passwd")),
                                    QStringLiteral("leed1"), QStringLiteral("s3cret")}),
                 0);
        broker.addConfiguration(QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\npassword_file %4\n")
                                    .arg(dir.filePath(QStringLiteral("ca.crt")), dir.filePath(QStringLiteral("broker.crt")),
                                         dir.filePath(QStringLiteral("broker.key")), dir.filePath(QStringLiteral("passwd"))));
        QVERIFY(broker.start());

        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        QTemporaryDir home;
        const QString passwordFile = home.filePath(QStringLiteral("mqtt-password"));
        QFile password(passwordFile);
        QVERIFY(password.open(QIODevice::WriteOnly));
        password.write("s3cret\n");
        password.close();
        QVERIFY(QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner));
        NetworkSettings settings;
        settings.enabled = true;
        settings.host = broker.host();
        settings.port = broker.port();
        settings.prefix = kPrefix;
        settings.username = QStringLiteral("leed1");
        settings.passwordFile = passwordFile;
        settings.caFile = dir.filePath(QStringLiteral("ca.crt"));
        fixture.window->tools().network().apply(settings);
        QVERIFY(connected(*fixture.window));

        // A wrong password is refused by the broker, and the state says so.
        password.open(QIODevice::WriteOnly | QIODevice::Truncate);
        password.write("wrong");
        password.close();
        fixture.window->tools().network().apply(settings);
        QVERIFY(QTest::qWaitFor([&] { return fixture.window->tools().network().state() == NetworkLink::State::Failed; },
                                kWaitMs));
        QVERIFY2(fixture.window->tools().network().stateText().startsWith(QLatin1String("refused by 127.0.0.1:")),
                 qPrintable(fixture.window->tools().network().stateText()));
    }

    void readsAnsweredChangesRefusedUntilAllowed()
    {
        BrokerFixture broker;
        QVERIFY(broker.start());
        WindowFixture fixture;
        QVERIFY(startWithNetwork(fixture, broker, false));
        MainWindow &window = *fixture.window;

        // A dashboard that subscribes later still sees the retained state.
        Subscriber dashboard(broker, topic(QStringLiteral("#")));
        QVERIFY(dashboard.sees(topic(QStringLiteral("status online"))));
        QVERIFY(dashboard.sees(topic(QStringLiteral("item/Label_CommPort COM1:"))));
        QVERIFY(dashboard.sees(topic(QStringLiteral("meta {"))));
        const QString meta = dashboard.linesStartingWith(topic(QStringLiteral("meta "))).constFirst();
        QVERIFY(meta.contains(QLatin1String("\"model\":\"R4150-D\"")));
        QVERIFY(meta.contains(QLatin1String("\"code\":\"EN\"")));

        QCOMPARE(request(broker, QStringLiteral("REQUEST Label_CommPort")), QStringLiteral("DATA COM1:"));
        QVERIFY(request(broker, QStringLiteral("POKE Text_Value(0) 150")).startsWith(QLatin1String("ERROR 15 ")));
        QVERIFY(request(broker, QStringLiteral("EXECUTE ENERGY=150")).startsWith(QLatin1String("ERROR 15 ")));
        QVERIFY(request(broker, QStringLiteral("RAMP 50 60 5 0")).startsWith(QLatin1String("ERROR 15 ")));
        QVERIFY(request(broker, QStringLiteral("REQUEST Nothing")).startsWith(QLatin1String("ERROR 3 ")));
        QVERIFY(!window.model().isMarked(PanelField::value(0)));
        QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
        fixture.supply.clearLog();

        // Allowed: the same line goes the way a socket client's does, and the state follows.
        NetworkSettings settings = window.tools().network().settings();
        settings.remoteControl = true;
        window.tools().network().apply(settings);
        QVERIFY(connected(window));
        dashboard.clear();
        QCOMPARE(request(broker, QStringLiteral("POKE Text_Value(0) 150")), QStringLiteral("OK"));
        QVERIFY(dashboard.sees(topic(QStringLiteral("item/Text_Value(0) 150"))));
        QCOMPARE(request(broker, QStringLiteral("EXECUTE ENERGY=160")), QStringLiteral("OK"));
        window.refreshCycle().runCycle();
        QCOMPARE(fixture.commands(1).constFirst(), QStringLiteral("VEN160"));
        QVERIFY(dashboard.sees(topic(QStringLiteral("state {\"items\""))));
        QVERIFY(fixture.ui.messages.isEmpty());
    }

    void theStateIsEveryItemAsQJsonDocumentWritesIt()
    {
        BrokerFixture broker;
        QVERIFY(broker.start());
        WindowFixture fixture;
        QVERIFY(startWithNetwork(fixture, broker, false));
        MainWindow &window = *fixture.window;
        NetworkLink &network = window.tools().network();
        LinkGrammar &grammar = window.controlLinkServer().grammar();
        MqttClient client;
        QVERIFY(startClient(client, broker));
        QVERIFY(client.subscribe(topic(QStringLiteral("state")), 1, false));
        QList<QByteArray> states;
        connect(&client, &MqttClient::messageArrived, this,
                [&states](const MqttMessage &message) { states << message.payload; });
        QVERIFY(QTest::qWaitFor([&] {
            network.publishState();
            return !states.isEmpty();
        }, kWaitMs));

        // Texts that need escaping, then others in their place: each state carries the texts of
        // its moment, byte for byte as the whole object written by QJsonDocument.
        const PanelField field = PanelField::value(0);
        const auto stateWith = [&states, &field](const QString &text) {
            for (auto state = states.crbegin(); state != states.crend(); ++state) {
                const QJsonValue items = QJsonDocument::fromJson(*state).object().value(QStringLiteral("items"));
                if (items.toObject().value(field.controlName()).toString(QStringLiteral("<none>")) == text)
                    return *state;
            }
            return QByteArray();
        };
        qint64 lastSequence = -1;
        for (const QString &text : {QStringLiteral("1\"2\\3\t\u00b5\u2028/"), QStringLiteral("150"), QString()}) {
            window.model().setFieldText(field, text);
            window.model().setPortCaption(text + QStringLiteral("\n"));
            network.publishState();
            QByteArray payload;
            QVERIFY(QTest::qWaitFor([&] { return !(payload = stateWith(text)).isEmpty(); }, kWaitMs));
            const QJsonObject state = QJsonDocument::fromJson(payload).object();
            QCOMPARE(QJsonDocument(state).toJson(QJsonDocument::Compact), payload);
            const QJsonObject items = state.value(QStringLiteral("items")).toObject();
            const QStringList names = grammar.itemNames();
            QCOMPARE(items.size(), names.size());
            for (const QString &name : names)
                QCOMPARE(items.value(name).toString(), grammar.itemText(name).value_or(QString()));
            const qint64 sequence = state.value(QStringLiteral("sequence")).toInteger(-1);
            QVERIFY(sequence > lastSequence);
            lastSequence = sequence;
        }
        client.stop();
    }

    void retainedOversizedAndBrokenCommandsAreRefused()
    {
        BrokerFixture broker;
        QVERIFY(broker.start());
        // Left on the broker before the program comes: never carried out.
        run(QStringLiteral("mosquitto_pub"), broker.hostArguments()
                                                 + QStringList{QStringLiteral("-r"), QStringLiteral("-t"),
                                                               topic(QStringLiteral("cmd")), QStringLiteral("-m"),
                                                               QStringLiteral("EXECUTE ENERGY=77")});
        WindowFixture fixture;
        QVERIFY(startWithNetwork(fixture, broker, true));
        MainWindow &window = *fixture.window;

        Subscriber replies(broker, QStringLiteral("test/reply"));
        QTest::qWait(200); // the subscription is in place
        MqttClient client;
        QVERIFY(startClient(client, broker));
        auto send = [&](const QByteArray &payload, bool retain) {
            QVERIFY(sendCommand(client, payload, QStringLiteral("test/reply"), retain));
        };
        send("EXECUTE ENERGY=78", true);
        QVERIFY(replies.sees(QStringLiteral("test/reply ERROR 16 ")));
        send(QByteArray(NetworkLink::kMaxPayloadBytes + 1, 'A'), false);
        QVERIFY(replies.sees(QStringLiteral("test/reply ERROR 6 ")));
        send("REQUEST \xff\xfe", false);
        QVERIFY(replies.sees(QStringLiteral("test/reply ERROR 7 ")));
        send("REQUEST Label_CommPort\x01", false);
        QVERIFY(replies.sees(QStringLiteral("test/reply ERROR 5 ")));

        // A flood: every command is answered, the ones beyond the queue's bound with an error,
        // and the line never gets more than one of their jobs waiting.
        int mostWaiting = 0;
        QTimer watch;
        watch.setInterval(1);
        connect(&watch, &QTimer::timeout, this, [&] { mostWaiting = std::max(mostWaiting, window.line().hasWaitingJobs() ? 1 : 0); });
        watch.start();
        replies.clear();
        constexpr int kFlood = 200;
        for (int i = 0; i < kFlood; ++i)
            send(QStringLiteral("EXECUTE ENERGY=%1").arg(100 + i).toUtf8(), false);
        QVERIFY(QTest::qWaitFor([&] { return replies.linesStartingWith(QStringLiteral("test/reply")).size() >= kFlood; },
                                4 * kWaitMs));
        const QStringList answers = replies.linesStartingWith(QStringLiteral("test/reply"));
        QCOMPARE(answers.size(), kFlood);
        QVERIFY(answers.filter(QStringLiteral("test/reply OK")).size() >= NetworkLink::kMaxQueuedCommands);
        QCOMPARE(answers.filter(QStringLiteral("test/reply OK")).size() + answers.filter(QStringLiteral("ERROR 17 ")).size(), kFlood);
        watch.stop();

        QVERIFY(!fixture.supply.receivedCommands().contains(QStringLiteral("VEN77")));
        QVERIFY(!fixture.supply.receivedCommands().contains(QStringLiteral("VEN78")));
        client.stop();
    }

    void rampJoinedByACameraAndBrokerRestart()
    {
        BrokerFixture broker;
        QVERIFY(broker.start());
        WindowFixture fixture;
        QVERIFY(startWithNetwork(fixture, broker, true));
        MainWindow &window = *fixture.window;

        // The camera stand-in: acknowledges each STEP on the conversation's response topic.
        MqttClient camera;
        QVERIFY(startClient(camera, broker));
        QVERIFY(camera.subscribe(QStringLiteral("test/camera"), 1, false));
        QStringList heard;
        auto say = [&](const QString &line) { sendCommand(camera, line.toUtf8(), QStringLiteral("test/camera")); };
        connect(&camera, &MqttClient::messageArrived, this, [&](const MqttMessage &message) {
            const QString line = QString::fromUtf8(message.payload);
            heard << line;
            if (line.startsWith(QLatin1String("STEP ")))
                say(QStringLiteral("ACK ") + line.section(QLatin1Char(' '), 1, 1));
        });
        QTest::qWait(200); // the subscription is in place
        say(QStringLiteral("RAMP 50 60 5 0 ACK"));
        QVERIFY(QTest::qWaitFor([&] { return heard.filter(QStringLiteral("END ")).size() == 1; }, kWaitMs));
        QCOMPARE(heard.constFirst(), QStringLiteral("OK 3"));
        QCOMPARE(heard.filter(QRegularExpression(QStringLiteral("^STEP "))).size(), 3);
        QCOMPARE(heard.filter(QRegularExpression(QStringLiteral("^OK$"))).size(), 3); // the ACKs' answers
        // As on the socket, the last ACK's own answer follows the END it caused.
        QVERIFY2(heard.filter(QStringLiteral("END ")).constFirst().startsWith(QLatin1String("END 3 complete")),
                 qPrintable(heard.join(QLatin1Char('|'))));
        const QStringList wire = fixture.supply.receivedCommands();
        QCOMPARE(wire.filter(QRegularExpression(QStringLiteral("^VEN"))),
                 (QStringList{QStringLiteral("VEN50"), QStringLiteral("VEN55"), QStringLiteral("VEN60")}));

        // Without a response topic nobody hears the steps: the ramp ends with its one line.
        QSignalSpy ended(&window.ramp(), &EnergyRamp::finished);
        QVERIFY(sendCommand(camera, "RAMP 50 60 5 0 ACK", QString()));
        QVERIFY(ended.wait(kWaitMs));
        QVERIFY(!ended.constFirst().at(1).toBool()); // not complete
        QVERIFY(waitForLine(window.line()));
        QVERIFY(!window.ramp().isRunning());

        // The broker forgets everything on a restart; the program connects again and publishes anew.
        broker.stop();
        QVERIFY(QTest::qWaitFor([&] { return window.tools().network().state() != NetworkLink::State::Connected; }, kWaitMs));
        QVERIFY(broker.start());
        QVERIFY(connected(window));
        Subscriber dashboard(broker, topic(QStringLiteral("#")));
        QVERIFY(dashboard.sees(topic(QStringLiteral("status online"))));
        QVERIFY(dashboard.sees(topic(QStringLiteral("item/Label_CommPort COM1:"))));
        camera.stop();
    }

    void sameWireTrafficAsTheSocketAndJournalled()
    {
        BrokerFixture broker;
        QVERIFY(broker.start());
        WindowFixture fixture;
        QVERIFY(startWithNetwork(fixture, broker, true));
        MainWindow &window = *fixture.window;
        Subscriber journal(broker, topic(QStringLiteral("journal")));
        window.tools().journal().setEnabled(true);

        QLocalSocket socket;
        socket.connectToServer(RuntimeDirectory::filePath(QStringLiteral("Control")));
        QVERIFY(socket.waitForConnected(kWaitMs));
        socket.write("EXECUTE ENERGY=150\n");
        QVERIFY(QTest::qWaitFor([&socket] { return socket.canReadLine(); }, kWaitMs));
        QCOMPARE(socket.readLine(), QByteArray("OK\n"));
        window.refreshCycle().runCycle();
        const QStringList viaSocket = fixture.commands(readPass().size() + 1);
        fixture.supply.clearLog();
        QCOMPARE(request(broker, QStringLiteral("EXECUTE ENERGY=150")), QStringLiteral("OK"));
        window.refreshCycle().runCycle();
        QCOMPARE(fixture.commands(readPass().size() + 1), viaSocket);
        QCOMPARE(viaSocket.constFirst(), QStringLiteral("VEN150"));

        // The journal names who sent what, and the network carries its lines.
        QVERIFY(journal.sees(topic(QStringLiteral("journal {"))));
        const QRegularExpression fromNetwork(QStringLiteral("\"sent\":\\s*\"VEN150\".*\"source\":\\s*\"network\""));
        const QRegularExpression command(QStringLiteral("\"command\":\\s*\"EXECUTE ENERGY=150\".*\"client\":\\s*\"test/reply\""));
        QVERIFY(QTest::qWaitFor([&] { return !journal.linesStartingWith(QString()).filter(fromNetwork).isEmpty(); }, kWaitMs));
        QVERIFY(!journal.linesStartingWith(QString()).filter(command).isEmpty());
        QVERIFY(!journal.linesStartingWith(QString()).filter(QRegularExpression(QStringLiteral("\"source\":\\s*\"control\""))).isEmpty());
    }

    void theProgramGoingIsSeenAsOffline()
    {
        // The real program in a process of its own, twice: ended by SIGTERM it says offline
        // itself; killed, the broker says it with the program's last will.
        BrokerFixture broker;
        QVERIFY(broker.start());
        TestEnvironment environment;
        VirtualSupply supply;
        QVERIFY(supply.start());
        PortTable::setPath(1, supply.devicePath());
        storeSettings(broker, false);
        SettingsStore::sync();
        Subscriber status(broker, topic(QStringLiteral("status")));
        for (const bool kill : {false, true}) {
            status.clear();
            QProcess program;
            QProcessEnvironment processEnvironment = QProcessEnvironment::systemEnvironment();
            processEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            program.setProcessEnvironment(processEnvironment);
            program.start(QStringLiteral(TAVREL_PATH), {QStringLiteral("/COM1")});
            QVERIFY(program.waitForStarted(kWaitMs));
            QVERIFY(status.sees(topic(QStringLiteral("status online"))));
            status.clear();
            if (kill)
                program.kill();
            else
                program.terminate();
            QVERIFY(program.waitForFinished(kWaitMs));
            QVERIFY(status.sees(topic(QStringLiteral("status offline"))));
        }
        supply.stop();
    }

    void aStalledBrokerDoesNotStallTheWindow()
    {
        BrokerFixture broker;
        QVERIFY(broker.start());
        WindowFixture fixture;
        QVERIFY(startWithNetwork(fixture, broker, true));
        MainWindow &window = *fixture.window;

        // The broker stops reading: whatever the program publishes meanwhile, the window's loop
        // and the supply's cycles go on.
        QVERIFY(broker.pause(true));
        int ticks = 0;
        QTimer ticker;
        ticker.setInterval(1);
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start();
        for (int i = 0; i < 3; ++i) {
            window.model().setFieldText(PanelField::value(0), QString::number(100 + i));
            window.model().markField(PanelField::value(0));
            window.refreshCycle().runCycle();
            QVERIFY(waitForLine(window.line()));
        }
        QVERIFY(ticks > 0);
        QCOMPARE(fixture.supply.receivedCommands().filter(QRegularExpression(QStringLiteral("^VEN"))).size(), 3);
        QVERIFY(broker.pause(false));
        Subscriber dashboard(broker, topic(QStringLiteral("item/Text_Value(0)")));
        QVERIFY(dashboard.sees(topic(QStringLiteral("item/Text_Value(0) 102"))));
    }

    void unknownHostsAndQuickRestartsNeverHoldTheWindow()
    {
        // A name the name service refuses without asking the network: the state says so while
        // the client goes on trying.
        WindowFixture fixture;
        QVERIFY(fixture.startQuiet());
        NetworkLink &network = fixture.window->tools().network();
        NetworkSettings settings;
        settings.enabled = true;
        settings.host = QStringLiteral("no such host!");
        settings.prefix = kPrefix;
        network.apply(settings);
        QVERIFY(QTest::qWaitFor([&] { return network.stateText().contains(QLatin1String("not found")); }, kWaitMs));
        QCOMPARE(network.state(), NetworkLink::State::Connecting);

        // Restarted again and again while connects are under way: each old client ends by itself,
        // and nothing of it reaches the one that stays.
        BrokerFixture broker;
        QVERIFY(broker.start());
        settings.host = broker.host();
        settings.port = broker.port();
        for (int i = 0; i < 20; ++i)
            network.apply(settings);
        QVERIFY(connected(*fixture.window));
        Subscriber dashboard(broker, topic(QStringLiteral("status")));
        QVERIFY(dashboard.sees(topic(QStringLiteral("status online"))));
        settings.enabled = false;
        network.apply(settings);
        QCOMPARE(network.state(), NetworkLink::State::Off);
        QVERIFY(dashboard.sees(topic(QStringLiteral("status offline"))));
    }
};

QTEST_MAIN(NetworkLinkTest)
#include "NetworkLinkTest.moc"
