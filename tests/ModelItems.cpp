#include "ModelItems.h"

#include "core/ModuleTable.h"

#include <QStringList>

ModelItems::ModelItems(SupplyModel &model) : model(model)
{
    for (const QString &item : SupplyModel::itemNames())
        set(item, item.startsWith(QLatin1String("Label_")) ? QStringLiteral("0.00") : QStringLiteral("0"));
    set(SupplyModel::kPortCaptionItem, QStringLiteral("COM1:"));
    QObject::connect(&model, &SupplyModel::itemChanged, &model,
                     [this](const QString &item, const QString &text) { changes.append({item, text}); });
}

void ModelItems::set(const QString &item, const QString &text)
{
    if (item == SupplyModel::kControlVoltageItem) {
        model.setControlVoltage(text, false);
    } else if (item == SupplyModel::kPortCaptionItem) {
        model.setPortCaption(text);
    } else if (const PanelField field = PanelField::fromControlName(item); field.exists()) {
        model.setFieldText(field, text);
    } else if (item.startsWith(QLatin1String("Label_OnOff("))) {
        model.setSwitchedOn(item.section(QLatin1Char('('), 1).chopped(1).toInt(), text == SupplyModel::switchText(true));
    } else if (item.startsWith(QLatin1String("Label_UMon(")) || item.startsWith(QLatin1String("Label_IMon("))) {
        const auto monitor = item.startsWith(QLatin1String("Label_UMon(")) ? SupplyModel::Monitor::Voltage
                                                                           : SupplyModel::Monitor::Current;
        model.setMonitorText(monitor, item.section(QLatin1Char('('), 1).chopped(1).toInt(), text);
    } // the line's lamp follows the line alone
}

QMap<QString, QString> ModelItems::all() const
{
    QMap<QString, QString> items;
    for (const QString &item : SupplyModel::itemNames())
        items[item] = model.itemText(item).value_or(QString());
    return items;
}

QString ModelItems::snapshot() const
{
    static const char *const requests[] = {"", "on", "off"};
    QStringList lines;
    for (const PanelField &field : kPanelFields)
        lines << field.controlName() + QLatin1Char('=') + model.fieldText(field) + QLatin1Char('/')
                     + (model.isMarked(field) ? QStringLiteral("changed") : QString());
    for (int module : {Module::kCathode, Module::kScreen})
        lines << QStringLiteral("Label_OnOff(%1)/").arg(module)
                     + QLatin1String(requests[int(model.switchRequest(module))]);
    return lines.join(QLatin1Char('\n'));
}
