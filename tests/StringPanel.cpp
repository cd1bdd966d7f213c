#include "StringPanel.h"

#include "core/ModuleTable.h"

#include <QStringList>

StringPanel::StringPanel()
{
    items[QStringLiteral("DA_set_voltage")] = QStringLiteral("0");
    for (const PanelField &field : kPanelFields) {
        items[field.controlName()] = QStringLiteral("0");
        tags[field.controlName()] = QString();
    }
    for (int module = 0; module < kModuleCount; ++module) {
        items[QStringLiteral("Label_UMon(%1)").arg(module)] = QStringLiteral("0.00");
        items[QStringLiteral("Label_IMon(%1)").arg(module)] = QStringLiteral("0.00");
    }
    items[QStringLiteral("Label_CommPort")] = QStringLiteral("COM1:");
    switchTags[1] = QString();
    switchTags[2] = QString();
}

void StringPanel::setFieldText(PanelField field, const QString &text)
{
    Q_ASSERT(field.exists());
    setItem(field.controlName(), text);
}

void StringPanel::setFieldTag(PanelField field, const QString &tag)
{
    Q_ASSERT(field.exists());
    tags[field.controlName()] = tag;
    markSources.remove(field.controlName());
}

void StringPanel::markField(PanelField field, CommandSource source)
{
    setFieldTag(field, kTagChanged);
    markSources[field.controlName()] = source;
}

void StringPanel::markSwitch(int module, const QString &request, CommandSource source)
{
    setSwitchTag(module, request);
    switchSources[module] = source;
}

void StringPanel::setSwitchTag(int module, const QString &tag)
{
    Q_ASSERT(module == 1 || module == 2);
    switchTags[module] = tag;
    switchSources.remove(module);
}

void StringPanel::setControlVoltage(const QString &text, bool)
{
    setItem(QStringLiteral("DA_set_voltage"), text);
}

void StringPanel::setMonitorText(Monitor monitor, int module, const QString &text)
{
    const QString name = monitor == Monitor::Voltage ? QStringLiteral("Label_UMon(%1)") : QStringLiteral("Label_IMon(%1)");
    setItem(name.arg(module), text);
}

std::optional<QString> StringPanel::itemText(const QString &item) const
{
    const auto it = items.constFind(item);
    if (it == items.constEnd())
        return std::nullopt;
    return *it;
}

bool StringPanel::isPokeable(const QString &item) const
{
    return items.contains(item) && (item == QLatin1String("DA_set_voltage") || item.startsWith(QLatin1String("Text_")));
}

void StringPanel::pokeItem(const QString &item, const QString &text)
{
    pokes.append({item, text});
    setItem(item, text);
}

void StringPanel::setItem(const QString &item, const QString &text)
{
    items[item] = text;
    if (onItemChanged)
        onItemChanged(item, text);
}

QString StringPanel::snapshot() const
{
    QStringList lines;
    for (const PanelField &field : kPanelFields)
        lines << field.controlName() + QLatin1Char('=') + fieldText(field) + QLatin1Char('/') + fieldTag(field);
    lines << QStringLiteral("Label_OnOff(1)/") + switchTag(1) << QStringLiteral("Label_OnOff(2)/") + switchTag(2);
    return lines.join(QLatin1Char('\n'));
}
