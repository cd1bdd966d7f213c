#include "core/ModuleTable.h"
#include "device/SupplyModel.h"

#include <QSignalSpy>
#include <QtTest>

// The model's item table is the control link's protocol, and its change reports drive the
// panel, ADVISE and the energy echo: each must come exactly once and only on a change.
class SupplyModelTest : public QObject
{
    Q_OBJECT

private slots:
    void itemsAreThePanelsTexts()
    {
        ModuleTable table;
        table.fill(0);
        SupplyModel model(table);
        // Only the monitors the panel has are items; names are exact.
        for (const char *item : {"Label_UMon(0)", "Label_UMon(7)", "Label_IMon(0)", "Label_IMon(1)",
                                 "Label_IMon(4)", "Label_CommPort", "DA_set_voltage", "Text_Offset(7)"})
            QVERIFY2(model.itemText(QLatin1String(item)), item);
        for (const char *item : {"Label_UMon(1)", "Label_UMon(2)", "Label_IMon(3)", "Text_Offset(6)",
                                 "Text_Value(3)", "text_value(0)", "Label_UMon(8)", "", "Label_FilamentRamp",
                                 "Label_OnOff(0)", "Label_OnOff(3)"})
            QVERIFY2(!model.itemText(QLatin1String(item)), item);
        // A switch state is an item, reported when it changes, not at every read-back.
        {
            QSignalSpy switched(&model, &SupplyModel::itemChanged);
            QCOMPARE(*model.itemText(QStringLiteral("Label_OnOff(1)")), QStringLiteral("OFF"));
            model.setSwitchedOn(Module::kCathode, true);
            model.setSwitchedOn(Module::kCathode, true);
            QCOMPARE(switched.count(), 1);
            QCOMPARE(switched.constFirst(), (QVariantList{QStringLiteral("Label_OnOff(1)"), QStringLiteral("ON")}));
            QVERIFY(!model.isPokeable(QStringLiteral("Label_OnOff(2)")));
            // The line's state after its last exchange; the busy lamp between does not count.
            switched.clear();
            model.setLineLamp(SerialLink::Lamp::Busy);
            model.setLineLamp(SerialLink::Lamp::TimedOut);
            model.setLineLamp(SerialLink::Lamp::Busy);
            model.setLineLamp(SerialLink::Lamp::TimedOut);
            QCOMPARE(switched.count(), 1);
            QCOMPARE(*model.itemText(QStringLiteral("Picture_Busy")), QStringLiteral("timed out"));
        }
        QVERIFY(model.isPokeable(QStringLiteral("Text_Gain(6)")) && model.isPokeable(QStringLiteral("DA_set_voltage")));
        QVERIFY(!model.isPokeable(QStringLiteral("Label_UMon(0)")) && !model.isPokeable(QStringLiteral("Label_CommPort")));
        QCOMPARE(*model.itemText(QStringLiteral("Label_UMon(0)")), SupplyModel::kMonitorAtStart);

        QSignalSpy changes(&model, &SupplyModel::itemChanged);
        QSignalSpy applied(&model, &SupplyModel::controlVoltageChanged);
        model.pokeItem(QStringLiteral("Text_Gain(3)"), QStringLiteral("-5"));
        model.pokeItem(QStringLiteral("Text_Gain(3)"), QStringLiteral("-5"));
        QCOMPARE(changes.count(), 1);
        QVERIFY(!model.isMarked(PanelField::gain(3))); // a poke writes, the cycle does not send it
        model.pokeItem(QStringLiteral("DA_set_voltage"), QStringLiteral("1.5"));
        model.pokeItem(QStringLiteral("DA_set_voltage"), QStringLiteral("1.5"));
        QCOMPARE(applied.count(), 1);
        // A read-back shows its energy without applying it.
        model.setControlVoltage(QStringLiteral("2"), false);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(*model.itemText(QStringLiteral("DA_set_voltage")), QStringLiteral("2"));
        model.setMonitorText(SupplyModel::Monitor::Voltage, 1, QStringLiteral("9")); // no such label
        QCOMPARE(changes.count(), 3);
        QCOMPARE(changes.last().at(0).toString(), QStringLiteral("DA_set_voltage"));
    }

    void everyItemNameReadsItsOwnText()
    {
        ModuleTable table;
        table.fill(0);
        SupplyModel model(table);
        // Each text its own, so that an item that reads another's shows.
        for (const PanelField &field : kPanelFields)
            model.setFieldText(field, field.controlName());
        for (SupplyModel::Monitor monitor : {SupplyModel::Monitor::Voltage, SupplyModel::Monitor::Current})
            for (int module = 0; module < kModuleCount; ++module)
                model.setMonitorText(monitor, module, QStringLiteral("%1 %2").arg(int(monitor)).arg(module));
        model.setSwitchedOn(Module::kScreen, true);
        model.setControlVoltage(QStringLiteral("7"), false);
        model.setPortCaption(QStringLiteral("COM9:"));
        const QStringList names = SupplyModel::itemNames();
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        QStringList monitors;
        for (const QString &name : names) {
            const std::optional<QString> text = model.itemText(name);
            QVERIFY2(text, qPrintable(name));
            if (name.startsWith(QLatin1String("Text_")))
                QCOMPARE(*text, name);
            else if (name.startsWith(QLatin1String("Label_UMon(")) || name.startsWith(QLatin1String("Label_IMon(")))
                monitors << name + QLatin1Char('=') + *text;
        }
        QCOMPARE(monitors.size(), 9);
        for (const QString &monitor : monitors) {
            const QString kind = monitor.startsWith(QLatin1String("Label_UMon(")) ? QStringLiteral("0 ") : QStringLiteral("1 ");
            QCOMPARE(monitor.section(QLatin1Char('='), 1), kind + monitor.mid(11, 1));
        }
        QCOMPARE(*model.itemText(QStringLiteral("Label_OnOff(1)")), QStringLiteral("OFF"));
        QCOMPARE(*model.itemText(QStringLiteral("Label_OnOff(2)")), QStringLiteral("ON"));
        QCOMPARE(*model.itemText(QStringLiteral("DA_set_voltage")), QStringLiteral("7"));
        QCOMPARE(*model.itemText(QStringLiteral("Label_CommPort")), QStringLiteral("COM9:"));
        QCOMPARE(*model.itemText(QStringLiteral("Picture_Busy")), QString());
    }

    void marksAndSwitchRequestsKeepTheirSource()
    {
        ModuleTable table;
        table.fill(0);
        SupplyModel model(table);
        const PanelField energy = PanelField::value(0);
        model.markField(energy, CommandSource::Control);
        QVERIFY(model.isMarked(energy));
        QCOMPARE(model.markSource(energy), CommandSource::Control);
        model.markField(energy); // marked again by the operator: the operator's now
        QCOMPARE(model.markSource(energy), CommandSource::Panel);
        model.clearMark(energy);
        QVERIFY(!model.isMarked(energy));
        model.markField(PanelField::offset(6)); // no such field: nothing happens
        QVERIFY(!model.isMarked(PanelField::offset(6)));

        model.requestSwitch(2, SupplyModel::SwitchRequest::Off, CommandSource::Profile);
        QCOMPARE(model.switchRequest(2), SupplyModel::SwitchRequest::Off);
        QCOMPARE(model.switchRequestSource(2), CommandSource::Profile);
        model.requestSwitch(3, SupplyModel::SwitchRequest::On); // no switch on module 3
        QCOMPARE(model.switchRequest(3), SupplyModel::SwitchRequest::None);
        model.clearSwitchRequest(2);
        QCOMPARE(model.switchRequest(2), SupplyModel::SwitchRequest::None);

        // The limits bring a field to the nearer one, with the message the operator sees.
        model.setFieldText(PanelField::value(1), QStringLiteral("3"));
        const RangeCheck check = model.checkLimits(PanelField::value(1));
        QVERIFY(check.outOfRange);
        QCOMPARE(check.correctedText, QStringLiteral("2.3"));
    }
};

QTEST_GUILESS_MAIN(SupplyModelTest)
#include "SupplyModelTest.moc"
