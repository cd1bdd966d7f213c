#pragma once

#include <QString>

#include <optional>

// The items of the control link: the panel's edit fields and monitor labels by control name
// ("DA_set_voltage", "Text_Gain(3)", "Label_UMon(0)", "Label_CommPort").
class ControlItems
{
public:
    virtual ~ControlItems() = default;

    // The item's text; nothing when no such item exists.
    virtual std::optional<QString> itemText(const QString &item) const = 0;
    // True when `item` names a text field that takes a poke.
    virtual bool isPokeable(const QString &item) const = 0;
    // Writes a text field's text; its change handler runs (DA_set_voltage sends the energy).
    virtual void pokeItem(const QString &item, const QString &text) = 0;
};
