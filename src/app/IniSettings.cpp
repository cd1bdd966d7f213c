#include "app/IniSettings.h"

#include "app/CommandLine.h"
#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "core/SettingsStore.h"

namespace {

const QString kGeneral = QStringLiteral("General");
const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
const QString kSettings = QStringLiteral("Settings");
const QString kPowerSupply = QStringLiteral("PowerSupply");
const QString kPort = QStringLiteral("Port");
const QString kAutoRefresh = QStringLiteral("AutoRefresh");
const QString kSimulation = QStringLiteral("Simulation");
const QString kDefaultPowerSupply = QStringLiteral("0");
const QString kDefaultPort = QStringLiteral("0");
const QString kDefaultAutoRefresh = QStringLiteral("-1");
const QString kDefaultSimulation = QStringLiteral("0");

// Decimal text of an integer; StrOf writes whole numbers up to 2^24 exactly, which covers
// 16-bit values and any realistic screen position in twips.
QString decimal(qint32 value)
{
    return StrOf(static_cast<float>(value));
}

// The settings file keeps a truth value as -1 (true) or 0.
constexpr qint32 kStoredTrue = -1;

QString flagText(bool flag)
{
    return decimal(flag ? kStoredTrue : 0);
}

// A stored edge: negative -> 0, beyond (screen - window) -> that difference. The order matters
// on a screen narrower than the window, where the difference itself is negative.
qint32 clampEdge(qint32 stored, double screenExtent, double windowExtent)
{
    const double room = screenExtent - windowExtent;
    if (stored < 0)
        return 0;
    if (stored > room)
        return RoundToInt32(room);
    return stored;
}

} // namespace

qint16 IniSettings::readInt16(const QString &text)
{
    return RoundToInt16(LeadingNumber(text));
}

qint32 IniSettings::readInt32(const QString &text)
{
    return RoundToInt32(LeadingNumber(text));
}

qint32 IniSettings::defaultLeft(const Geometry &geometry)
{
    return RoundToInt32(geometry.screenWidth - geometry.windowWidth);
}

qint32 IniSettings::defaultTop(const Geometry &geometry)
{
    // Rounded first, then halved with the remainder dropped (toward zero).
    return RoundToInt32(geometry.screenHeight - geometry.windowHeight) / 2;
}

QPoint IniSettings::placeWindow(const std::optional<QString> &storedLeft, const std::optional<QString> &storedTop,
                                const Geometry &geometry)
{
    const qint32 left = storedLeft ? readInt32(*storedLeft) : defaultLeft(geometry);
    const qint32 top = storedTop ? readInt32(*storedTop) : defaultTop(geometry);
    return QPoint(clampEdge(left, geometry.screenWidth, geometry.windowWidth),
                  clampEdge(top, geometry.screenHeight, geometry.windowHeight));
}

QPoint IniSettings::load(ControllerState &state, const CommandLine &commandLine, const Geometry &geometry)
{
    // The store hands back the default text for a missing key, as the reader asks.
    const QString leftText = SettingsStore::readText(kGeneral, kLeft, decimal(defaultLeft(geometry)));
    const QString topText = SettingsStore::readText(kGeneral, kTop, decimal(defaultTop(geometry)));
    const QPoint position = placeWindow(leftText, topText, geometry);

    // Plain stores: neither caption nor check marks change here.
    state.storePowerSupply(readInt16(SettingsStore::readText(kSettings, kPowerSupply, kDefaultPowerSupply)));
    state.commPort = readInt16(SettingsStore::readText(kSettings, kPort, kDefaultPort));
    state.autoRefreshFlag = readInt16(SettingsStore::readText(kSettings, kAutoRefresh, kDefaultAutoRefresh)) != 0;
    state.simulationMode = readInt16(SettingsStore::readText(kSettings, kSimulation, kDefaultSimulation)) != 0;

    if (commandLine.powerSupply)
        state.storePowerSupply(*commandLine.powerSupply);
    state.setPowerSupply(state.powerSupply());

    if (commandLine.commPort)
        state.commPort = *commandLine.commPort;
    return position;
}

void IniSettings::save(const ControllerState &state, const QPoint &windowTopLeftTwips)
{
    SettingsStore::writeText(kGeneral, kLeft, StrOf(static_cast<float>(windowTopLeftTwips.x())));
    SettingsStore::writeText(kGeneral, kTop, StrOf(static_cast<float>(windowTopLeftTwips.y())));
    SettingsStore::writeText(kSettings, kPowerSupply, decimal(state.powerSupply()));
    SettingsStore::writeText(kSettings, kPort, decimal(state.commPort));
    SettingsStore::writeText(kSettings, kAutoRefresh, flagText(state.autoRefreshFlag));
    SettingsStore::writeText(kSettings, kSimulation, flagText(state.simulationMode));
    SettingsStore::sync();
}
