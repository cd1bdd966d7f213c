#pragma once

#include <QString>

#include <optional>

// What the control link needs of the main window: its lamp, the exit lock, the caption and the
// items (edit fields and monitor labels by control name). Item changes are reported to the
// server by the window (ControlLinkServer::notifyItemChanged).
class ControlLinkHost
{
public:
    enum class Lamp { Default, Open, Closed, Error }; // window default, green, light grey, red

    virtual ~ControlLinkHost() = default;

    virtual void setLinkLamp(Lamp lamp) = 0;
    // "E&xit" is disabled while a conversation is open.
    virtual void setExitEnabled(bool enabled) = 0;
    virtual QString caption() const = 0;
    // The text of an item such as "DA_set_voltage", "Text_Gain(3)", "Label_UMon(0)";
    // nothing when no such item exists.
    virtual std::optional<QString> itemText(const QString &item) const = 0;
    // True when `item` names a text field that takes a poke.
    virtual bool isPokeable(const QString &item) const = 0;
    // Writes a text field's text; its change handler runs (DA_set_voltage sends the energy).
    virtual void pokeItem(const QString &item, const QString &text) = 0;
};
