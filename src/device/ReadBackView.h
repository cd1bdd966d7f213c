#pragma once

#include "device/PanelField.h"

#include <QRect>
#include <QString>
#include <QStringList>

// The panel as the read-back writes it, step by step in its fixed order.
class ReadBackView
{
public:
    enum class Monitor { Voltage, Current }; // Label_UMon, Label_IMon

    virtual ~ReadBackView() = default;

    virtual void setFieldText(PanelField field, const QString &text) = 0;
    // Writes DA_set_voltage; with `echo`, a changed text runs its change handler (the energy
    // goes out), without it the text is only shown. The tag is cleared afterwards.
    virtual void setControlVoltage(const QString &text, bool echo) = 0;
    virtual void setMonitorText(Monitor monitor, int module, const QString &text) = 0;
    // Module 1 or 2: its lamp lit or black, its set-value spin control enabled or disabled.
    virtual void setSwitchDisplay(int module, bool on) = 0;
    virtual void clearScreenBar() = 0;
    // A box with these corners, both inclusive, in screen-bar units.
    virtual void drawScreenBox(const QRect &corners) = 0;
    virtual void printServiceTable(const QStringList &lines) = 0;
};
