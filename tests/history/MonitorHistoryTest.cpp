#include "history/HistoryExport.h"
#include "history/MonitorHistory.h"

#include <QLocale>
#include <QtTest>

namespace {

constexpr qint64 kStart = 1'800'000'000'000; // ms since the epoch
constexpr qint64 kSecond = 1000;
constexpr qint64 kMaxMemoryBytes = 10 * 1024 * 1024;

std::array<ModuleReading, kModuleCount> readings(int n, bool settingsFollow = false)
{
    std::array<ModuleReading, kModuleCount> r{};
    for (int i = 0; i < kModuleCount; ++i) {
        r[i].Gain = settingsFollow ? float(n) : float(i);
        r[i].Offset = float(10 * i);
        r[i].value = float(100 * i);
        r[i].Umon = float(n) + 0.5f * float(i);
        r[i].Imon = -1e-6f * float(n % 100);
        r[i].OnOff = (n + i) % 2;
    }
    return r;
}

} // namespace

class MonitorHistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void aDayAtOneHertzStaysWithinTheBound()
    {
        MonitorHistory history;
        const int total = MonitorHistory::kCapacity + 500;
        for (int n = 0; n < total; ++n)
            history.addSample(kStart + n * kSecond, readings(n));
        QCOMPARE(history.size(), MonitorHistory::kCapacity);
        QCOMPARE(history.totalAdded(), quint64(total));
        QVERIFY(history.timeAt(history.size() - 1) - history.timeAt(0) >= 24 * 3600 * kSecond);
        QVERIFY2(history.memoryBytes() < kMaxMemoryBytes, qPrintable(QString::number(history.memoryBytes())));

        // The oldest 500 are gone; what is kept reads back exactly as it was added.
        for (int index : {0, 1, 4711, history.size() - 1}) {
            const int n = index + 500;
            const MonitorSample sample = history.sampleAt(index);
            QCOMPARE(sample.msecs, kStart + n * kSecond);
            const auto expected = readings(n);
            for (int i = 0; i < kModuleCount; ++i) {
                QCOMPARE(sample.modules[i].gain, expected[i].Gain);
                QCOMPARE(sample.modules[i].offset, expected[i].Offset);
                QCOMPARE(sample.modules[i].value, expected[i].value);
                QCOMPARE(sample.modules[i].umon, expected[i].Umon);
                QCOMPARE(sample.modules[i].imon, expected[i].Imon);
                QCOMPARE(sample.modules[i].on, expected[i].OnOff != 0);
            }
        }
        QCOMPARE(history.firstAtOrAfter(kStart + 600 * kSecond), 100);
        QCOMPARE(history.firstAtOrAfter(kStart + 600 * kSecond - 1), 100);
        QCOMPARE(history.firstAtOrAfter(kStart + total * kSecond), history.size());
    }

    void settingsThatChangeEverySampleDoNotBreakTheBound()
    {
        MonitorHistory history;
        for (int n = 0; n < MonitorHistory::kCapacity; ++n)
            history.addSample(kStart + n * kSecond, readings(n, true));
        QVERIFY(history.memoryBytes() <= MonitorHistory::kMaxBytes);
        QVERIFY(history.size() > MonitorHistory::kCapacity / 4); // fewer samples, still hours of them
        const MonitorSample newest = history.sampleAt(history.size() - 1);
        QCOMPARE(newest.modules[3].gain, float(MonitorHistory::kCapacity - 1));
        const int oldest = int(history.totalAdded()) - history.size();
        QCOMPARE(history.sampleAt(0).modules[5].gain, float(oldest));
    }

    void aClockThatStepsBackKeepsTheOrder()
    {
        MonitorHistory history;
        history.addSample(kStart, readings(0));
        history.addSample(kStart - 5 * kSecond, readings(1));
        history.addSample(kStart + kSecond, readings(2));
        QCOMPARE(history.timeAt(1), kStart);
        QCOMPARE(history.firstAtOrAfter(kStart + 1), 2);
    }

    void csvUsesPointsAndIsoTimesWhateverTheLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        MonitorHistory history;
        std::array<ModuleReading, kModuleCount> r{};
        r[Module::kEnergy].Umon = 150.25f;
        r[Module::kEnergy].Imon = -1.5e-6f;
        r[Module::kCathode].Imon = 2.1f;
        r[Module::kAnode].Imon = 0.0125f;
        r[Module::kScreen].Offset = 5500.0f;
        history.addSample(kStart + 123, r);
        history.addSample(kStart + 60 * kSecond, r);
        const QList<QByteArray> lines = HistoryExport::csv(history, kStart, kStart + kSecond).split('\n');
        QLocale::setDefault(QLocale::c());
        QCOMPARE(lines.size(), 3); // header, one sample in range, the last line end
        QCOMPARE(lines[0], QByteArray("time,energy_monitor_V,beam_current_uA,cathode_current_A,anode_current_mA,"
                                      "screen_voltage_kV"));
        const QList<QByteArray> fields = lines[1].split(',');
        QCOMPARE(fields.size(), 6);
        const QDateTime time = QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs);
        QCOMPARE(time.toMSecsSinceEpoch(), kStart + 123);
        QVERIFY(fields[0].contains(".123"));
        QCOMPARE(fields.mid(1), (QList<QByteArray>{"150.25", "1.5", "2.1", "12.5", "5.5"}));
    }
};

QTEST_GUILESS_MAIN(MonitorHistoryTest)
#include "MonitorHistoryTest.moc"
