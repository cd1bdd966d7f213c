#include "app/CommandLine.h"

#include <QtTest>

class CommandLineTest : public QObject
{
    Q_OBJECT
private slots:
    void pathsAreNotSearched();
    void blankTerminatedSwitches();
    void modelSwitches();
    void portSwitches();
    void profileName_data();
    void profileName();
};

void CommandLineTest::pathsAreNotSearched()
{
    // A switch name inside a profile's path is part of the path.
    const CommandLine line = CommandLine::parse(
        QStringList{QStringLiteral("/COM1"), QStringLiteral("/ZQV=/home/op/.config/tavrel/si.zqv")});
    QCOMPARE(line.profile, std::optional<QString>(QStringLiteral("/home/op/.config/tavrel/si.zqv")));
    QCOMPARE(line.powerSupply, std::nullopt);
    QCOMPARE(line.commPort, std::optional<qint16>(1));
    // A quoted path keeps its blanks; the switches of the other arguments are still found.
    const CommandLine quoted = CommandLine::parse(QStringList{
        QStringLiteral("/zqv=/home/op/My Profiles/run /SIMULATION"), QStringLiteral("/Tavrel"), QStringLiteral("/SERVICE")});
    QCOMPARE(quoted.profile, std::optional<QString>(QStringLiteral("/home/op/My Profiles/run /SIMULATION.zqv")));
    QVERIFY(!quoted.simulation);
    QVERIFY(quoted.service);
    QCOMPARE(quoted.powerSupply, std::optional<qint16>(1));
    // What stands before the switch in its own argument still counts.
    QCOMPARE(CommandLine::parse(QStringList{QStringLiteral("/COM2/ZQV=/srv/COM1/a")}).commPort, std::optional<qint16>(2));
    QVERIFY(CommandLine::parse(QStringList{QStringLiteral("/ZQV=a"), QStringLiteral("/simulation")}).simulation);
}

void CommandLineTest::blankTerminatedSwitches()
{
    QVERIFY(CommandLine::parse(QStringLiteral("/COM1 /simulation")).simulation);
    QVERIFY(CommandLine::parse(QStringLiteral("/Simulation /COM1")).simulation);
    QVERIFY(!CommandLine::parse(QStringLiteral("/simulationx")).simulation);
    QVERIFY(!CommandLine::parse(QStringLiteral("/SIMULATIONS /COM1")).simulation);
    QVERIFY(!CommandLine::parse(QString()).simulation);

    QVERIFY(CommandLine::parse(QStringLiteral("/service")).service);
    QVERIFY(!CommandLine::parse(QStringLiteral("/services")).service);
    QVERIFY(!CommandLine::parse(QStringLiteral("/service")).simulation);
}

void CommandLineTest::modelSwitches()
{
    QCOMPARE(CommandLine::parse(QStringLiteral("/COM1")).powerSupply, std::nullopt);
    QCOMPARE(CommandLine::parse(QStringLiteral("/r4150")).powerSupply, std::optional<qint16>(0));
    QCOMPARE(CommandLine::parse(QStringLiteral("/Tavrel")).powerSupply, std::optional<qint16>(1));
    // Both: the second test wins, whatever the order on the line.
    QCOMPARE(CommandLine::parse(QStringLiteral("/TAVREL /R4150")).powerSupply, std::optional<qint16>(1));
    QCOMPARE(CommandLine::parse(QStringLiteral("/R4150 /TAVREL")).powerSupply, std::optional<qint16>(1));
    // Substring search: the switch may be followed by anything.
    QCOMPARE(CommandLine::parse(QStringLiteral("/R4150-D")).powerSupply, std::optional<qint16>(0));
}

void CommandLineTest::portSwitches()
{
    using Port = std::optional<qint16>;
    QCOMPARE(CommandLine::parse(QStringLiteral("/simulation")).commPort, std::nullopt);
    QCOMPARE(CommandLine::parse(QStringLiteral("/com")).commPort, Port(0));
    QCOMPARE(CommandLine::parse(QStringLiteral("/COM5")).commPort, Port(0));
    QCOMPARE(CommandLine::parse(QStringLiteral("/COM3 /COM1")).commPort, Port(1));
    QCOMPARE(CommandLine::parse(QStringLiteral("/COM4 /COM2")).commPort, Port(2));
    QCOMPARE(CommandLine::parse(QStringLiteral("/COM12")).commPort, Port(1));
    QCOMPARE(CommandLine::parse(QStringLiteral("/com4")).commPort, Port(4));
}

void CommandLineTest::profileName_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("port");

    QTest::newRow("name without dot, then port") << "/ZQV=name /COM2" << "name.zqv" << 2;
    QTest::newRow("extension kept") << "/ZQV=run.zqv" << "run.zqv" << -1;
    QTest::newRow("dot in folder only") << "/ZQV=/home/op/v1.2/beam" << "/home/op/v1.2/beam" << -1;
    QTest::newRow("nothing after switch") << "/ZQV=" << ".zqv" << -1;
    QTest::newRow("blank after switch") << "/ZQV= other" << ".zqv" << -1;
    QTest::newRow("case preserved") << "/zqv=MyBeam" << "MyBeam.zqv" << -1;
    QTest::newRow("first occurrence") << "/ZQV=a /ZQV=b" << "a.zqv" << -1;
    // Characters whose upper case is longer must not shift the name's position.
    QTest::newRow("sharp s before switch") << QString::fromUtf8("/SIMULATION ß /ZQV=Maß") << QString::fromUtf8("Maß.zqv")
                                           << -1;
    QTest::newRow("ligature in name") << QString::fromUtf8("/ZQV=\uFB01le /COM3") << QString::fromUtf8("\uFB01le.zqv")
                                      << 3;
}

void CommandLineTest::profileName()
{
    QFETCH(QString, line);
    QFETCH(QString, profile);
    QFETCH(int, port);
    const CommandLine parsed = CommandLine::parse(line);
    QCOMPARE(parsed.profile, std::optional<QString>(profile));
    QCOMPARE(parsed.commPort, port < 0 ? std::nullopt : std::optional<qint16>(port));

    QCOMPARE(CommandLine::parse(QStringLiteral("/ZQ=name /COM2")).profile, std::nullopt);
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
