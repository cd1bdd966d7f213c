#include "device/SupplyModel.h"

#include "core/Conversions.h"
#include "core/FieldLimits.h"
#include "core/ModuleTable.h"

#include <QHash>

#include <algorithm>

namespace {
constexpr int kCodeStart = 1;  // after the command letter
constexpr int kCodeLength = 2; // "EN", "CA", "L1", ...

std::optional<PanelField> fieldOf(QChar letter, int module)
{
    PanelField field;
    if (letter == QLatin1Char('V'))
        field = PanelField::value(module);
    else if (letter == QLatin1Char('G'))
        field = PanelField::gain(module);
    else if (letter == QLatin1Char('O'))
        field = PanelField::offset(module);
    else
        return std::nullopt;
    return field.exists() ? std::optional<PanelField>(field) : std::nullopt;
}

// Where an item's text is kept, found by the item's name.
struct ItemPlace
{
    enum class Kind { Field, ControlVoltage, PortCaption, LineState, Switch, Monitor };
    Kind kind;
    PanelField field;             // Field
    SupplyModel::Monitor monitor; // Monitor
    int module;                   // Switch, Monitor
};
} // namespace

SupplyModel::SupplyModel(const ModuleTable &limits, QObject *parent) : QObject(parent), m_limits(limits)
{
    m_uMon.fill(kMonitorAtStart);
    m_iMon.fill(kMonitorAtStart);
}

int SupplyModel::slot(PanelField field)
{
    const auto it = std::find(kPanelFields.begin(), kPanelFields.end(), field);
    return it == kPanelFields.end() ? -1 : int(it - kPanelFields.begin());
}

bool SupplyModel::isSwitchModule(int module)
{
    return module == Module::kCathode || module == Module::kScreen;
}

QString SupplyModel::switchItem(int module)
{
    return QStringLiteral("Label_OnOff(%1)").arg(module);
}

QString SupplyModel::switchText(bool on)
{
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

QString SupplyModel::fieldText(PanelField field) const
{
    const int i = slot(field);
    return i < 0 ? QString() : m_fieldTexts[i];
}

float SupplyModel::fieldValue(PanelField field) const
{
    return ValOf(fieldText(field));
}

void SupplyModel::setFieldText(PanelField field, const QString &text)
{
    const int i = slot(field);
    if (i < 0 || m_fieldTexts[i] == text)
        return;
    m_fieldTexts[i] = text;
    emit fieldTextChanged(field, text);
    emit itemChanged(field.controlName(), text);
}

RangeCheck SupplyModel::checkLimits(PanelField field) const
{
    const FieldLimits limits = FieldLimits::of(field, m_limits);
    return RangeCheck::of(fieldText(field), limits.lower, limits.upper);
}

bool SupplyModel::isMarked(PanelField field) const
{
    const int i = slot(field);
    return i >= 0 && m_marks[i].set;
}

CommandSource SupplyModel::markSource(PanelField field) const
{
    const int i = slot(field);
    return i < 0 ? CommandSource::Panel : m_marks[i].source;
}

void SupplyModel::markField(PanelField field, CommandSource source)
{
    const int i = slot(field);
    if (i >= 0)
        m_marks[i] = {true, source};
}

void SupplyModel::clearMark(PanelField field)
{
    const int i = slot(field);
    if (i >= 0)
        m_marks[i] = {};
}

SupplyModel::SwitchRequest SupplyModel::switchRequest(int module) const
{
    return isSwitchModule(module) ? m_switches[module].request : SwitchRequest::None;
}

CommandSource SupplyModel::switchRequestSource(int module) const
{
    return isSwitchModule(module) ? m_switches[module].source : CommandSource::Panel;
}

void SupplyModel::requestSwitch(int module, SwitchRequest request, CommandSource source)
{
    if (!isSwitchModule(module))
        return;
    m_switches[module].request = request;
    m_switches[module].source = source;
}

void SupplyModel::clearSwitchRequest(int module)
{
    requestSwitch(module, SwitchRequest::None);
}

bool SupplyModel::isSwitchedOn(int module) const
{
    return isSwitchModule(module) && m_switches[module].on;
}

void SupplyModel::setSwitchedOn(int module, bool on)
{
    // Reported at every read-back, changed or not: the panel redraws the module's spin control,
    // which the connection state may have drawn otherwise meanwhile.
    if (!isSwitchModule(module))
        return;
    const bool changed = m_switches[module].on != on;
    m_switches[module].on = on;
    emit switchedOnChanged(module, on);
    if (changed)
        emit itemChanged(switchItem(module), switchText(on));
}

void SupplyModel::setEditable(bool editable)
{
    if (m_editable == editable)
        return;
    m_editable = editable;
    emit editableChanged(editable);
}

void SupplyModel::setControlVoltage(const QString &text, bool echo)
{
    if (m_controlVoltage == text)
        return;
    m_controlVoltage = text;
    emit controlVoltageTextChanged(text);
    if (echo)
        emit controlVoltageChanged(text);
    emit itemChanged(kControlVoltageItem, text);
}

bool SupplyModel::hasMonitor(Monitor monitor, int module)
{
    if (monitor == Monitor::Voltage)
        return module >= 0 && module < kModuleCount && !isSwitchModule(module);
    return module == Module::kEnergy || module == Module::kCathode || module == Module::kAnode;
}

QString SupplyModel::monitorItem(Monitor monitor, int module)
{
    return QStringLiteral("%1(%2)")
        .arg(monitor == Monitor::Voltage ? QLatin1String("Label_UMon") : QLatin1String("Label_IMon"))
        .arg(module);
}

QString SupplyModel::monitorText(Monitor monitor, int module) const
{
    if (!hasMonitor(monitor, module))
        return {};
    return monitor == Monitor::Voltage ? m_uMon[module] : m_iMon[module];
}

void SupplyModel::setMonitorText(Monitor monitor, int module, const QString &text)
{
    if (!hasMonitor(monitor, module))
        return;
    QString &stored = monitor == Monitor::Voltage ? m_uMon[module] : m_iMon[module];
    if (stored == text)
        return;
    stored = text;
    emit monitorTextChanged(monitor, module, text);
    emit itemChanged(monitorItem(monitor, module), text);
}

void SupplyModel::setScreenBar(const QList<QRect> &boxes)
{
    m_screenBar = boxes;
    emit screenBarChanged(boxes);
}

void SupplyModel::setServiceTable(const QStringList &lines)
{
    m_serviceTable = lines;
    emit serviceTableChanged(lines);
}

void SupplyModel::setPortCaption(const QString &caption)
{
    if (m_portCaption == caption)
        return;
    m_portCaption = caption;
    emit portCaptionChanged(caption);
    emit itemChanged(kPortCaptionItem, caption);
}

void SupplyModel::setLineLamp(SerialLink::Lamp lamp)
{
    QString state;
    switch (lamp) {
    case SerialLink::Lamp::Busy:
        return;
    case SerialLink::Lamp::Default:
        break;
    case SerialLink::Lamp::Ok:
        state = QStringLiteral("ok");
        break;
    case SerialLink::Lamp::TimedOut:
        state = QStringLiteral("timed out");
        break;
    case SerialLink::Lamp::Failed:
        state = QStringLiteral("failed");
        break;
    }
    if (state == m_lineState)
        return;
    m_lineState = state;
    emit itemChanged(kLineStateItem, state);
}

std::optional<QString> SupplyModel::itemText(const QString &item) const
{
    // Looked up rather than parsed: the lab network asks for every item after each read-back.
    using Kind = ItemPlace::Kind;
    static const QHash<QString, ItemPlace> places = [] {
        const auto at = [](Kind kind, PanelField field = {}, Monitor monitor = Monitor::Voltage, int module = 0) {
            return ItemPlace{kind, field, monitor, module};
        };
        QHash<QString, ItemPlace> table;
        for (const PanelField &field : kPanelFields)
            table.insert(field.controlName(), at(Kind::Field, field));
        table.insert(kControlVoltageItem, at(Kind::ControlVoltage));
        table.insert(kPortCaptionItem, at(Kind::PortCaption));
        table.insert(kLineStateItem, at(Kind::LineState));
        for (int module : {Module::kCathode, Module::kScreen})
            table.insert(switchItem(module), at(Kind::Switch, {}, Monitor::Voltage, module));
        for (Monitor monitor : {Monitor::Voltage, Monitor::Current})
            for (int module = 0; module < kModuleCount; ++module)
                if (hasMonitor(monitor, module))
                    table.insert(monitorItem(monitor, module), at(Kind::Monitor, {}, monitor, module));
        return table;
    }();
    const auto place = places.constFind(item);
    if (place == places.constEnd())
        return std::nullopt;
    switch (place->kind) {
    case Kind::Field:
        return fieldText(place->field);
    case Kind::ControlVoltage:
        return m_controlVoltage;
    case Kind::PortCaption:
        return m_portCaption;
    case Kind::LineState:
        return m_lineState;
    case Kind::Switch:
        return switchText(isSwitchedOn(place->module));
    case Kind::Monitor:
        return monitorText(place->monitor, place->module);
    }
    return std::nullopt;
}

QStringList SupplyModel::itemNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const PanelField &field : kPanelFields)
            list << field.controlName();
        list << kControlVoltageItem << kPortCaptionItem << kLineStateItem << switchItem(Module::kCathode)
             << switchItem(Module::kScreen);
        for (Monitor monitor : {Monitor::Voltage, Monitor::Current})
            for (int module = 0; module < kModuleCount; ++module)
                if (hasMonitor(monitor, module))
                    list << monitorItem(monitor, module);
        return list;
    }();
    return names;
}

bool SupplyModel::isPokeable(const QString &item) const
{
    return item == kControlVoltageItem || PanelField::fromControlName(item).exists();
}

void SupplyModel::pokeItem(const QString &item, const QString &text)
{
    if (item == kControlVoltageItem)
        setControlVoltage(text, true);
    else if (const PanelField field = PanelField::fromControlName(item); field.exists())
        setFieldText(field, text);
}

std::optional<QString> SupplyModel::refusal(const QString &command, const ModuleTable &table)
{
    if (command.size() <= kCodeStart + kCodeLength)
        return std::nullopt;
    const QString code = command.mid(kCodeStart, kCodeLength);
    int module = -1;
    for (int i = 0; i < kModuleCount; ++i)
        if (table.ModuleCode[std::size_t(i)] == code)
            module = i;
    if (module < 0)
        return std::nullopt;
    const std::optional<PanelField> field = fieldOf(command.at(0), module);
    if (!field)
        return std::nullopt;
    FieldLimits limits = FieldLimits::of(*field, table);
    if (*field == PanelField::value(Module::kScreen)) {
        limits.lower *= kScreenVoltsPerUnit;
        limits.upper *= kScreenVoltsPerUnit;
    }
    const RangeCheck check = RangeCheck::of(command.mid(kCodeStart + kCodeLength), limits.lower, limits.upper);
    return check.outOfRange ? std::optional<QString>(check.message) : std::nullopt;
}
