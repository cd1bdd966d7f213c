#pragma once

#include <QString>

#include <array>

// One of the twelve edit fields of the panel: a set value (modules 0..2), a gain (3..7) or an
// offset (3, 4, 5, 7).
struct PanelField
{
    enum class Kind { Value, Gain, Offset };
    Kind kind = Kind::Value;
    int index = 0;

    bool operator==(const PanelField &other) const { return kind == other.kind && index == other.index; }
    bool operator!=(const PanelField &other) const { return !(*this == other); }

    // True for the twelve fields that exist.
    bool exists() const;
    // The control name, e.g. "Text_Value(0)", "Text_Offset(7)".
    QString controlName() const;
    // What the operator reads for it: the module's caption, and "gain" or "offset" for those
    // ("Cathode (A)", "L1/3 (V) offset").
    QString displayName() const;
    // The field of a control name, or an invalid field (exists() false).
    static PanelField fromControlName(const QString &name);

    static PanelField value(int i) { return {Kind::Value, i}; }
    static PanelField gain(int i) { return {Kind::Gain, i}; }
    static PanelField offset(int i) { return {Kind::Offset, i}; }
};

// The twelve fields in the order the refresh cycle and the profile file visit them.
extern const std::array<PanelField, 12> kPanelFields;
