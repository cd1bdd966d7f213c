#include "CommandClock.h"
#include "LinkRig.h"
#include "ProcessStats.h"
#include "Samples.h"

#include <QTest>

// The helpers the benchmark programs measure with: if they are wrong, every printed figure is.
class BenchToolsTest : public QObject
{
    Q_OBJECT

private slots:
    void percentilesAreNearestRank()
    {
        Samples hundred;
        for (int i = 100; i >= 1; --i)
            hundred.add(i);
        QCOMPARE(hundred.percentile(99.0), 99.0);
        QCOMPARE(hundred.percentile(100.0), 100.0);
        QCOMPARE(hundred.median(), 50.0);
        QCOMPARE(hundred.mean(), 50.5);
        QCOMPARE(hundred.min(), 1.0);

        Samples few; // a rank below one still takes the smallest value
        few.add(7.0);
        few.add(3.0);
        QCOMPARE(few.percentile(1.0), 3.0);
        QCOMPARE(few.percentile(99.0), 7.0);
        QCOMPARE(Samples().percentile(50.0), 0.0);
    }

    void readsCpuAndMemoryOfThisProcess()
    {
        QVERIFY(ProcessStats::residentKiB() > 0);
        QVERIFY(ProcessStats::processCpuSeconds() >= ProcessStats::threadCpuSeconds());
    }

    void notesEveryCommandInOrder()
    {
        LinkRig rig(VirtualSupply::Options{});
        QString why;
        QVERIFY2(rig.open(why), qPrintable(why));
        CommandClock clock(rig.supply);
        clock.start();
        QCOMPARE(rig.line.send(QStringLiteral("VEN100")), 0);
        ModuleReading reading;
        QCOMPARE(rig.line.read(QStringLiteral("EN"), reading), 0);
        QCOMPARE(rig.line.send(QStringLiteral("VEN150")), 0);

        const auto read = clock.waitFor(QStringLiteral("REN"), 5000);
        QVERIFY(read);
        QCOMPARE(read->first, 1);
        const auto second = clock.waitFor(QStringLiteral("VEN"), 5000, read->first + 1);
        QVERIFY(second);
        QCOMPARE(second->second.command, QStringLiteral("VEN150"));
        QVERIFY(second->second.at >= read->second.at);
        QVERIFY(!clock.find(QStringLiteral("RL2")));
        clock.stop();
        QCOMPARE(int(clock.arrivals().size()), 3);
    }
};

QTEST_GUILESS_MAIN(BenchToolsTest)
#include "BenchToolsTest.moc"
