#pragma once

#include <QString>

// The two shut-down choices, as the dialog shows them and the settings store keeps them
// (section "ShutDown", keys "Filament" and "Energy", text "0" or "1"). Widget-free, so the
// termination path can apply the stored choices without a dialog.
struct ShutDownChoices
{
    static inline const QString kSection = QStringLiteral("ShutDown");
    static inline const QString kFilamentKey = QStringLiteral("Filament");
    static inline const QString kEnergyKey = QStringLiteral("Energy");

    bool filament = false; // switch module 1 (cathode or filament) off
    bool energy = false;   // set the energy (module 0) to zero

    // A stored box: the leading number rounded to 16 bit; checked only when exactly 1.
    static bool boxFromText(const QString &text);
    static bool storedBox(const QString &key);
    static ShutDownChoices stored();
    // Writes both boxes as decimal text.
    void store() const;
};
