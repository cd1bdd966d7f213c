#pragma once

#include "device/PanelField.h"

#include <QString>

// What the refresh cycle, the read-back and the profile reader need of the panel: the edit
// fields' texts and marks, the switch requests, and the enabled state. The main window
// implements it over its widgets; tests can implement it over plain strings.
class PanelAccess
{
public:
    virtual ~PanelAccess() = default;

    virtual QString fieldText(PanelField field) const = 0;
    virtual void setFieldText(PanelField field, const QString &text) = 0;
    // "changed" marks a field pending; "" means nothing pending.
    virtual QString fieldTag(PanelField field) const = 0;
    virtual void setFieldTag(PanelField field, const QString &tag) = 0;
    virtual bool fieldEnabled(PanelField field) const = 0;
    // Pending switch request of module 1 or 2: the tag of Label_OnOff(module).
    virtual QString switchTag(int module) const = 0;
    virtual void setSwitchTag(int module, const QString &tag) = 0;
};

inline const QString kTagChanged = QStringLiteral("changed");
