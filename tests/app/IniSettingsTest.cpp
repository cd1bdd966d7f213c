#include "app/CommandLine.h"
#include "core/ControllerState.h"
#include "app/IniSettings.h"
#include "core/SettingsStore.h"
#include "core/Twips.h"

#include <QtTest>

namespace {

// 1920 x 1080 pixels at 96 DPI, and a window of 600 x 466.67 pixels.
const IniSettings::Geometry kDesktop {28800, 16200, 9000, 7000};

std::optional<QString> text(const char *value)
{
    return QString::fromLatin1(value);
}

} // namespace

class IniSettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void defaultsOnEmptyStore();
    void switchBeatsStoreBeatsDefault();
    void placementClamps();
    void defaultPlacementRounding();
    void numbersReadByLeadingNumberRule();
    void exactFileText();
    void twipsConversion();

private:
    QTemporaryDir m_config;
};

void IniSettingsTest::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    QVERIFY(SettingsStore::filePath().startsWith(m_config.path()));
}

void IniSettingsTest::init()
{
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tavrel"), QStringLiteral("tavrel"));
    store.clear();
    store.sync();
    QLocale::setDefault(QLocale::c());
}

void IniSettingsTest::defaultsOnEmptyStore()
{
    ControllerState state;
    state.autoRefreshFlag = false;
    state.simulationMode = true;
    state.commPort = 7;
    state.storePowerSupply(1);
    QSignalSpy captions(&state, &ControllerState::captionChanged);

    const QPoint position = IniSettings::load(state, CommandLine::parse(QString()), kDesktop);

    // Right edge of the screen, centred vertically.
    QCOMPARE(position, QPoint(19800, 4600));
    QCOMPARE(state.autoRefreshFlag, true);
    QCOMPARE(state.simulationMode, false);
    QCOMPARE(state.powerSupply(), qint16(0));
    QCOMPARE(state.commPort, qint16(0));
    // The caption is set once, after the switches.
    QCOMPARE(captions.count(), 1);
    QCOMPARE(captions.at(0).at(0).toString(), QStringLiteral("Tavrel Power Supply [R4150-D]"));
}

void IniSettingsTest::switchBeatsStoreBeatsDefault()
{
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("PowerSupply"), QStringLiteral("0"));
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("Port"), QStringLiteral("3"));
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("AutoRefresh"), QStringLiteral("0"));
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("Simulation"), QStringLiteral("-1"));

    {
        // Store beats default; no switches.
        ControllerState state;
        IniSettings::load(state, CommandLine::parse(QStringLiteral("/ZQV=x")), kDesktop);
        QCOMPARE(state.powerSupply(), qint16(0));
        QCOMPARE(state.commPort, qint16(3));
        QCOMPARE(state.autoRefreshFlag, false);
        QCOMPARE(state.simulationMode, true);
    }
    {
        // A hand-edited 1 is on like -1, so the menu can switch it off again.
        SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("Simulation"), QStringLiteral("1"));
        ControllerState state;
        IniSettings::load(state, CommandLine::parse(QString()), kDesktop);
        QCOMPARE(state.simulationMode, true);
        SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("Simulation"), QStringLiteral("-1"));
    }

    ControllerState state;
    QSignalSpy captions(&state, &ControllerState::captionChanged);
    IniSettings::load(state, CommandLine::parse(QStringLiteral("/tavrel /COM2")), kDesktop);
    QCOMPARE(state.powerSupply(), qint16(1));
    QCOMPARE(state.commPort, qint16(2));
    QCOMPARE(captions.count(), 1);
    QCOMPARE(captions.at(0).at(0).toString(), QStringLiteral("Tavrel Power Supply [Tavrel digital]"));

    // "/COM" with an unknown number selects no port at all, over the stored one.
    {
        ControllerState other;
        IniSettings::load(other, CommandLine::parse(QStringLiteral("/COM7")), kDesktop);
        QCOMPARE(other.commPort, qint16(0));
    }

    // Written back at exit, the switch becomes the stored value of the next start.
    IniSettings::save(state, QPoint(100, 200));
    ControllerState next;
    const QPoint position = IniSettings::load(next, CommandLine::parse(QString()), kDesktop);
    QCOMPARE(next.powerSupply(), qint16(1));
    QCOMPARE(next.commPort, qint16(2));
    QCOMPARE(position, QPoint(100, 200));
}

void IniSettingsTest::placementClamps()
{
    // Stored edges: negative -> 0, beyond (screen - window) -> that difference.
    QCOMPARE(IniSettings::placeWindow(text("-5"), text("-1"), kDesktop), QPoint(0, 0));
    QCOMPARE(IniSettings::placeWindow(text("30000"), text("99999"), kDesktop), QPoint(19800, 9200));
    QCOMPARE(IniSettings::placeWindow(text("19800"), text("9200"), kDesktop), QPoint(19800, 9200));
    QCOMPARE(IniSettings::placeWindow(text("0"), text("0"), kDesktop), QPoint(0, 0));
    // Beyond the 32-bit range: saturated, then clamped like any large number.
    QCOMPARE(IniSettings::placeWindow(text("1E300"), text("-1E300"), kDesktop), QPoint(19800, 0));

    // A screen narrower and lower than the window: a stored non-negative edge gives the negative
    // difference, a stored negative one gives 0, and so does the (negative) default.
    const IniSettings::Geometry small {8000, 6000, 9000, 7500};
    QCOMPARE(IniSettings::placeWindow(text("500"), text("0"), small), QPoint(-1000, -1500));
    QCOMPARE(IniSettings::placeWindow(text("-1"), text("-20"), small), QPoint(0, 0));
    QCOMPARE(IniSettings::placeWindow(std::nullopt, std::nullopt, small), QPoint(0, 0));

    // The same through the store, with a fractional difference rounded halves to even.
    SettingsStore::writeText(QStringLiteral("General"), QStringLiteral("Left"), QStringLiteral("40000"));
    SettingsStore::writeText(QStringLiteral("General"), QStringLiteral("Top"), QStringLiteral("40000"));
    ControllerState state;
    const IniSettings::Geometry fractional {28800.5, 16201.5, 9000, 7000};
    QCOMPARE(IniSettings::load(state, CommandLine(), fractional), QPoint(19800, 9202));
}

void IniSettingsTest::defaultPlacementRounding()
{
    // Top: the difference is rounded first (halves to even), then halved toward zero.
    QCOMPARE(IniSettings::defaultTop({0, 16201, 0, 7000}), 4600);
    QCOMPARE(IniSettings::defaultTop({0, 16200.5, 0, 7000}), 4600);
    QCOMPARE(IniSettings::defaultTop({0, 16201.5, 0, 7000}), 4601);
    QCOMPARE(IniSettings::defaultTop({0, 5000, 0, 7001}), -1000);
    QCOMPARE(IniSettings::defaultLeft({28800.5, 0, 9000, 0}), 19800);
    QCOMPARE(IniSettings::defaultLeft({28801.5, 0, 9000, 0}), 19802);
    // An odd height difference on an empty store: remainder dropped.
    ControllerState state;
    QCOMPARE(IniSettings::load(state, CommandLine(), {28800, 16201, 9000, 7000}), QPoint(19800, 4600));
}

void IniSettingsTest::numbersReadByLeadingNumberRule()
{
    QCOMPARE(IniSettings::readInt16(QStringLiteral("abc")), qint16(0));
    QCOMPARE(IniSettings::readInt16(QString()), qint16(0));
    QCOMPARE(IniSettings::readInt16(QStringLiteral("12abc")), qint16(12));
    QCOMPARE(IniSettings::readInt16(QStringLiteral(" - 1")), qint16(-1));
    QCOMPARE(IniSettings::readInt16(QStringLiteral("2.5")), qint16(2));
    QCOMPARE(IniSettings::readInt16(QStringLiteral("3.5")), qint16(4));
    QCOMPARE(IniSettings::readInt16(QStringLiteral("-0.5")), qint16(0));
    // No comma replacement in the store: "1,5" is 1.
    QCOMPARE(IniSettings::readInt16(QStringLiteral("1,5")), qint16(1));
    QCOMPARE(IniSettings::readInt16(QStringLiteral("1E6")), qint16(32767));
    QCOMPARE(IniSettings::readInt32(QStringLiteral("100.5")), qint32(100));
    QCOMPARE(IniSettings::readInt32(QStringLiteral("101.5")), qint32(102));
    QCOMPARE(IniSettings::readInt32(QStringLiteral("2.5E3")), qint32(2500));

    SettingsStore::writeText(QStringLiteral("General"), QStringLiteral("Left"), QStringLiteral("left"));
    SettingsStore::writeText(QStringLiteral("General"), QStringLiteral("Top"), QStringLiteral("1200.5"));
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("PowerSupply"), QStringLiteral("0.5"));
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("Port"), QStringLiteral("COM2"));
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("AutoRefresh"), QStringLiteral("yes"));
    SettingsStore::writeText(QStringLiteral("Settings"), QStringLiteral("Simulation"), QStringLiteral("1.5"));
    ControllerState state;
    const QPoint position = IniSettings::load(state, CommandLine(), kDesktop);
    QCOMPARE(position, QPoint(0, 1200));
    QCOMPARE(state.powerSupply(), qint16(0));
    QCOMPARE(state.commPort, qint16(0));
    QCOMPARE(state.autoRefreshFlag, false);
    QCOMPARE(state.simulationMode, true); // 1.5 reads as 2: non-zero counts as on
}

void IniSettingsTest::exactFileText()
{
    // A comma locale must not leak into whole numbers.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ControllerState state;
    state.storePowerSupply(1);
    state.commPort = 2;
    state.autoRefreshFlag = true; // written as "-1"
    state.simulationMode = false;
    IniSettings::save(state, QPoint(1200, -15));

    QFile file(SettingsStore::filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray expected = "[General]\n"
                                "Left=1200\n"
                                "Top=-15\n"
                                "\n"
                                "[Settings]\n"
                                "AutoRefresh=-1\n"
                                "Port=2\n"
                                "PowerSupply=1\n"
                                "Simulation=0\n";
    QCOMPARE(file.readAll(), expected);

    state.storePowerSupply(0);
    state.commPort = -3;
    state.autoRefreshFlag = false;
    state.simulationMode = true;
    IniSettings::save(state, QPoint(0, 0));
    QCOMPARE(SettingsStore::readText(QStringLiteral("Settings"), QStringLiteral("Port"), QString()), QStringLiteral("-3"));
    QCOMPARE(SettingsStore::readText(QStringLiteral("Settings"), QStringLiteral("AutoRefresh"), QString()),
             QStringLiteral("0"));
    QCOMPARE(SettingsStore::readText(QStringLiteral("Settings"), QStringLiteral("Simulation"), QString()),
             QStringLiteral("-1"));
}

void IniSettingsTest::twipsConversion()
{
    QCOMPARE(Twips::fromPixels(1920, 96), 28800.0);
    QCOMPARE(Twips::fromPixels(1920, 120), 23040.0);
    QCOMPARE(Twips::roundedFromPixels(1, 100), 14);  // 14.4
    QCOMPARE(Twips::roundedFromPixels(5, 96 * 3), 25);
    QCOMPARE(Twips::toPixels(28800, 96), 1920);
    QCOMPARE(Twips::toPixels(-15, 96), -1);
    QCOMPARE(Twips::toPixels(22.5, 96), 2); // 1.5 px, halves to even
    // A screen that reports no DPI must not divide by zero.
    QCOMPARE(Twips::fromPixels(96, 0), 1440.0);
    // Round trip of a stored edge at a common scale.
    QCOMPARE(Twips::toPixels(Twips::roundedFromPixels(333, 144), 144), 333);
}

QTEST_GUILESS_MAIN(IniSettingsTest)
#include "IniSettingsTest.moc"
