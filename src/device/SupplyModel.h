#pragma once

#include "core/CommandSource.h"
#include "core/PanelField.h"
#include "core/RangeCheck.h"
#include "device/SerialLink.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

struct ModuleTable;

// The supply as the program knows it: per module the set values, the pending marks and who set
// them, the switch requests, the last readings and the limits. The refresh cycle sends what is
// marked, the read-back writes what it read, the panel shows it and writes what the operator
// enters, and the control link reads and writes it by item name. Set values are kept as the text
// the operator sees, so what goes out and what a client reads is exactly what stands there.
class SupplyModel : public QObject
{
    Q_OBJECT
public:
    enum class Monitor { Voltage, Current }; // Label_UMon, Label_IMon
    enum class SwitchRequest { None, On, Off };

    // Monitor texts before the first read-back.
    static inline const QString kMonitorAtStart = QStringLiteral("0 ");
    static inline const QString kControlVoltageItem = QStringLiteral("DA_set_voltage");
    static inline const QString kPortCaptionItem = QStringLiteral("Label_CommPort");
    // The serial line's lamp after its last exchange: "", "ok", "timed out" or "failed".
    static inline const QString kLineStateItem = QStringLiteral("Picture_Busy");
    // The item of a module's switch state (its lamp on the panel), "ON" or "OFF".
    static QString switchItem(int module);
    static QString switchText(bool on);

    explicit SupplyModel(const ModuleTable &limits, QObject *parent = nullptr);

    const ModuleTable &limits() const { return m_limits; }

    QString fieldText(PanelField field) const;
    float fieldValue(PanelField field) const;
    void setFieldText(PanelField field, const QString &text);
    // The field's number brought to its limits, with the message that says so; a text within
    // them is left exactly as it stands.
    RangeCheck checkLimits(PanelField field) const;
    // The one check that every set value passes on its way to the supply, whichever path made
    // it: a command that sets a module's value, gain or offset ("V", "G" or "O", the module code,
    // a number) carries a number within that module's limits, or it is not sent. The answer is
    // "Valid range is <lower> ... <upper>" (in the command's units) for a number beyond them or
    // no number at all (NaN); nothing for a command within them or one that sets no value.
    static std::optional<QString> refusal(const QString &command, const ModuleTable &limits);
    // The screen's set value goes out in volts, its limits are in kilovolts.
    static constexpr float kScreenVoltsPerUnit = 1000.0f;

    bool isMarked(PanelField field) const;
    // Who set the mark; the journal names it when the value goes out.
    CommandSource markSource(PanelField field) const;
    void markField(PanelField field, CommandSource source = CommandSource::Panel);
    void clearMark(PanelField field);

    // Module 1 or 2.
    SwitchRequest switchRequest(int module) const;
    CommandSource switchRequestSource(int module) const;
    void requestSwitch(int module, SwitchRequest request, CommandSource source = CommandSource::Panel);
    void clearSwitchRequest(int module);
    bool isSwitchedOn(int module) const;
    void setSwitchedOn(int module, bool on);

    // Fields, switches and the control voltage take entries only while a supply is connected.
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable);

    QString controlVoltage() const { return m_controlVoltage; }
    // With `echo`, a changed text is applied (the energy goes out, controlVoltageChanged);
    // without it the text is only shown.
    void setControlVoltage(const QString &text, bool echo);

    // Whether the panel has a label for this monitor of this module.
    static bool hasMonitor(Monitor monitor, int module);
    QString monitorText(Monitor monitor, int module) const;
    void setMonitorText(Monitor monitor, int module, const QString &text);
    // The screen bar's boxes, each by its two corners in screen-bar units.
    QList<QRect> screenBar() const { return m_screenBar; }
    void setScreenBar(const QList<QRect> &boxes);
    QStringList serviceTable() const { return m_serviceTable; }
    void setServiceTable(const QStringList &lines);
    QString portCaption() const { return m_portCaption; }
    void setPortCaption(const QString &caption);
    QString lineState() const { return m_lineState; }
    // The line's lamp; a lit "busy" leaves the state of the last exchange as it is.
    void setLineLamp(SerialLink::Lamp lamp);

    // The control link's items by name ("DA_set_voltage", "Text_Gain(3)", "Label_UMon(0)",
    // "Label_CommPort"): an item's text, or nothing when there is no such item.
    std::optional<QString> itemText(const QString &item) const;
    // Every item name, fields first.
    static QStringList itemNames();
    // True for the items that take a poke: the edit fields and DA_set_voltage.
    bool isPokeable(const QString &item) const;
    // Writes a pokeable item; DA_set_voltage is applied as if typed.
    void pokeItem(const QString &item, const QString &text);

signals:
    void fieldTextChanged(PanelField field, const QString &text);
    void controlVoltageTextChanged(const QString &text);
    // The control voltage was entered (typed, poked) or echoed by a read-back: apply it.
    void controlVoltageChanged(const QString &text);
    void monitorTextChanged(SupplyModel::Monitor monitor, int module, const QString &text);
    void switchedOnChanged(int module, bool on);
    void screenBarChanged(const QList<QRect> &boxes);
    void serviceTableChanged(const QStringList &lines);
    void portCaptionChanged(const QString &caption);
    void editableChanged(bool editable);
    // Any item's text changed, under its item name.
    void itemChanged(const QString &item, const QString &text);

private:
    struct Mark
    {
        bool set = false;
        CommandSource source = CommandSource::Panel;
    };
    struct Switch
    {
        SwitchRequest request = SwitchRequest::None;
        CommandSource source = CommandSource::Panel;
        bool on = false;
    };
    static int slot(PanelField field);
    static bool isSwitchModule(int module);
    static QString monitorItem(Monitor monitor, int module);

    const ModuleTable &m_limits;
    std::array<QString, 12> m_fieldTexts;
    std::array<Mark, 12> m_marks;
    std::array<Switch, 3> m_switches;
    std::array<QString, 8> m_uMon;
    std::array<QString, 8> m_iMon;
    QString m_controlVoltage;
    QList<QRect> m_screenBar;
    QStringList m_serviceTable;
    QString m_portCaption;
    QString m_lineState;
    bool m_editable = false;
};
