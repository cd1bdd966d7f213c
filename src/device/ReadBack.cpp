#include "device/ReadBack.h"

#include "core/Conversions.h"
#include "core/ControllerState.h"
#include "device/SupplyLine.h"
#include "device/SupplyModel.h"

#include <QLocale>
#include <QScopeGuard>

#include <cmath>

namespace {
using namespace Module;
constexpr float kVoltsPerControlVolt = 100.0f;
constexpr float kMicroampsPerAmp = -1000000.0f; // beam current shown positive
constexpr float kMilliampsPerAmp = 1000.0f;
constexpr float kVoltsPerKilovolt = 1000.0f;
constexpr int kBarPitch = 6;
constexpr int kBarWidth = 3;
constexpr int kBarTop = 1;
constexpr int kBarBottom = 13;
// A fixed text, not a formatted number: it keeps its point in every locale.
const QString kCathodeOffCurrent = QStringLiteral("0.00 ");

QString numberForTable(float number)
{
    QString text = StrOf(number);
    if (!(number < 0))
        text.prepend(QLatin1Char(' '));
    return text + QLatin1Char(' ');
}

void printAtNextZone(QString &line, const QString &item)
{
    const int column = line.size();
    const int zone = (column / ReadBack::kPrintZoneColumns + 1) * ReadBack::kPrintZoneColumns;
    line += QString(zone - column, QLatin1Char(' ')) + item;
}
} // namespace

ReadBack::ReadBack(SupplyLine &line, ControllerState &state, SupplyModel &model, QObject *parent)
    : QObject(parent), m_line(line), m_state(state), m_model(model)
{
}

LineTask<qint32> ReadBack::readAll(bool setValues)
{
    const SupplyLine::Lease lease = co_await m_line.acquire();
    co_return co_await pass(setValues);
}

LineTask<qint32> ReadBack::pass(bool setValues)
{
    ++m_passes;
    const auto done = qScopeGuard([this] { --m_passes; });
    for (int i = 0; i < kModuleCount; ++i) {
        const QString code = m_state.table.ModuleCode[i];
        const qint32 r = co_await m_line.readModule(code, m_readings[i]);
        if (r != 0)
            co_return r;
        if (m_line.isRetired())
            co_return 0; // the window has unloaded meanwhile: leave the panel alone
    }
    showPanel(setValues);
    const Readings readings = m_readings; // a receiver may start the next pass
    emit passRead(readings);
    co_return 0;
}

void ReadBack::showPanel(bool flag)
{
    // A copy: what the panel's handlers do meanwhile must not change what is shown.
    const auto readings = m_readings;
    const ModuleReading &energy = readings[kEnergy];
    const ModuleReading &cathode = readings[kCathode];
    const ModuleReading &screen = readings[kScreen];

    // A reply number beyond single precision is no setting: the field keeps its text, and the
    // control voltage is not rewritten, since its change would send the energy (as 0).
    if (flag && std::isfinite(energy.value)) {
        m_model.setFieldText(PanelField::value(kEnergy), StrOf(energy.value));
        // The change of the control voltage echoes the energy to the supply. A garbled or
        // impossible reading ("1#0", above the limit) is shown but never sent back.
        const bool sane = IsWholeNumber(energy.valueText) && energy.value >= m_state.table.ValueMin[kEnergy]
                          && energy.value <= m_state.table.ValueMax[kEnergy];
        const CommandSourceScope scope(m_state, CommandSource::Readback);
        m_model.setControlVoltage(FirstCommaToPoint(StrOf(energy.value / kVoltsPerControlVolt)), sane);
    }
    if (flag) {
        m_model.setFieldText(PanelField::value(kCathode),
                            cathode.OnOff != 0 ? FirstCommaToPoint(StrOf(cathode.value)) : QString());
    }
    m_model.setMonitorText(SupplyModel::Monitor::Voltage, kEnergy, monitorText(energy.Umon, 1));
    m_model.setMonitorText(SupplyModel::Monitor::Current, kEnergy, monitorText(energy.Imon * kMicroampsPerAmp, 1));
    const bool cathodeOn = cathode.OnOff != 0;
    m_model.setSwitchedOn(kCathode, cathodeOn);
    m_model.setMonitorText(SupplyModel::Monitor::Current, kCathode,
                          cathodeOn ? monitorText(cathode.Imon, 2) : kCathodeOffCurrent);
    if (flag)
        m_model.setFieldText(PanelField::value(kScreen),
                            screen.OnOff != 0 ? StrOf(screen.Offset / kVoltsPerKilovolt) : QString());

    const bool screenOn = screen.OnOff != 0;
    m_model.setSwitchedOn(kScreen, screenOn);
    m_model.setScreenBar(screenBoxes(screen.Offset, screenOn));

    for (int i = kWehnelt; i < kModuleCount; ++i) {
        const ModuleReading &module = readings[i];
        if (flag) {
            m_model.setFieldText(PanelField::gain(i), StrOf(module.Gain));
            if (i != kSuppressor)
                m_model.setFieldText(PanelField::offset(i), StrOf(module.Offset));
        }
        const float umon = i == kWehnelt ? -module.Umon : module.Umon;
        m_model.setMonitorText(SupplyModel::Monitor::Voltage, i, monitorText(umon, 0));
        if (i == kAnode)
            m_model.setMonitorText(SupplyModel::Monitor::Current, kAnode,
                                  monitorText(module.Imon * kMilliampsPerAmp, 2));
    }

    if (m_state.serviceMode)
        m_model.setServiceTable(serviceTable(readings, m_state.table.ModuleCode));
}

QString ReadBack::monitorText(double number, int decimals)
{
    if (!std::isfinite(number))
        return StrOf(float(number)) + QLatin1Char(' ');
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(number * scale) / scale; // halves away from zero
    if (rounded == 0.0)
        rounded = 0.0; // no "-0.0"
    QString text = QString::number(rounded, 'f', decimals);
    const QString separator = QLocale().decimalPoint();
    if (separator != QLatin1String("."))
        text.replace(QLatin1Char('.'), separator);
    return text + QLatin1Char(' ');
}

QList<QRect> ReadBack::screenBoxes(float screenOffset, bool on)
{
    // Whole kilovolts: the offset rounded (halves to even), divided by 1000, remainder dropped.
    // Bound it first: a reply may carry any number, and only a few boxes fit the bar.
    const double bounded = std::isnan(screenOffset) ? 0.0
                           : std::fmax(-1.0e6, std::fmin(1.0e6, double(screenOffset)));
    const int kilovolts = int(std::nearbyint(bounded)) / 1000;
    QList<QRect> boxes;
    auto boxAt = [](int x) { return QRect(QPoint(x, kBarTop), QPoint(x + kBarWidth, kBarBottom)); };
    if (on) {
        const int bars = std::min(kilovolts, kMaxScreenBars);
        for (int k = 1; k <= bars; ++k)
            boxes.append(boxAt(1 + kBarPitch * (k - 1)));
    } else {
        const int marker = std::max(-1, std::min(kilovolts, kMaxScreenBars + 1));
        boxes.append(boxAt(kBarPitch * (marker - 1) + 1));
    }
    return boxes;
}

QStringList ReadBack::serviceTable(const std::array<ModuleReading, kModuleCount> &readings,
                                   const std::array<QString, kModuleCount> &codes)
{
    QStringList lines;
    QString heading = QStringLiteral("Module Gain");
    for (const char *title : {"Offset", "Value", "Umon", "Imon", "Switch"})
        printAtNextZone(heading, QLatin1String(title));
    lines.append(heading);
    for (int i = 0; i < kModuleCount; ++i) {
        const ModuleReading &r = readings[i];
        QString line = codes[i] + QStringLiteral("  ") + numberForTable(r.Gain);
        for (float number : {r.Offset, r.value, r.Umon, r.Imon, float(r.OnOff)})
            printAtNextZone(line, numberForTable(number));
        lines.append(line);
    }
    return lines;
}
