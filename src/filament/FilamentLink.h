#pragma once

#include "remote/LinkExtension.h"

class FilamentRamp;
class PressureInterlock;

// Filament care on the control link:
//   REQUEST FilamentRamp     -> DATA idle | DATA <last sent> <target>
//   POKE Pressure <mbar>     -> OK (a gauge script's reading; REQUEST Pressure reads it back)
//   REQUEST Interlock        -> DATA off | waiting | armed | tripped <reason>
class FilamentLink : public LinkExtension
{
public:
    static inline const QString kRampItem = QStringLiteral("FilamentRamp");
    static inline const QString kPressureItem = QStringLiteral("Pressure");
    static inline const QString kInterlockItem = QStringLiteral("Interlock");

    FilamentLink(const FilamentRamp &ramp, PressureInterlock &interlock);

    std::optional<LinkAnswer> handle(const void *, const QString &, const QString &) override { return std::nullopt; }
    std::optional<QString> itemText(const QString &item) const override;
    QStringList itemNames() const override { return {kRampItem, kPressureItem, kInterlockItem}; }
    bool pokeItem(const QString &item, const QString &text) override;

private:
    const FilamentRamp &m_ramp;
    PressureInterlock &m_interlock;
};
