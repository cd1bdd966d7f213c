#pragma once

#include "core/CommandSource.h"
#include "core/PanelField.h"

#include <QRect>
#include <QString>
#include <QStringList>

// The panel as the device layer, the profiles and the control link see it: the edit fields'
// texts and marks, the switch requests and the enabled state, and what the read-back writes,
// step by step in its fixed order. The module panel implements it over its widgets; tests
// implement it over plain strings.
class PanelView
{
public:
    enum class Monitor { Voltage, Current }; // Label_UMon, Label_IMon

    virtual ~PanelView() = default;

    virtual QString fieldText(PanelField field) const = 0;
    virtual void setFieldText(PanelField field, const QString &text) = 0;
    // kTagChanged marks a field pending; "" means nothing pending.
    virtual QString fieldTag(PanelField field) const = 0;
    virtual void setFieldTag(PanelField field, const QString &tag) = 0;
    virtual bool fieldEnabled(PanelField field) const = 0;
    // Pending switch request of module 1 or 2 (kSwitchOn, kSwitchOff or ""): the tag of
    // Label_OnOff(module).
    virtual QString switchTag(int module) const = 0;
    virtual void setSwitchTag(int module, const QString &tag) = 0;
    // Marks on behalf of someone other than the operator (a profile, a client); a mark set any
    // other way is the operator's. The journal names the source when the mark goes out.
    virtual void markField(PanelField field, CommandSource source) = 0;
    virtual void markSwitch(int module, const QString &request, CommandSource source) = 0;
    virtual CommandSource fieldMarkSource(PanelField field) const = 0;
    virtual CommandSource switchMarkSource(int module) const = 0;

    // Writes DA_set_voltage; with `echo`, a changed text runs its change handler (the energy
    // goes out), without it the text is only shown. The tag is cleared afterwards.
    virtual void setControlVoltage(const QString &text, bool echo) = 0;
    virtual void setMonitorText(Monitor monitor, int module, const QString &text) = 0;
    // Module 1 or 2: its lamp lit or black, its set-value spin control enabled or disabled.
    virtual void setSwitchDisplay(int module, bool on) = 0;
    // The screen bar shows exactly these boxes (the bar cleared, then each box drawn); each box
    // is given by its two corners in screen-bar units.
    virtual void setScreenBar(const QList<QRect> &boxes) = 0;
    virtual void printServiceTable(const QStringList &lines) = 0;
};

