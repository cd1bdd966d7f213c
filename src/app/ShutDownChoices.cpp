#include "app/ShutDownChoices.h"

#include "core/Conversions.h"
#include "core/SettingsStore.h"

namespace {

const QString kUnchecked = QStringLiteral("0");
const QString kChecked = QStringLiteral("1");

} // namespace

bool ShutDownChoices::boxFromText(const QString &text)
{
    return RoundToInt16(LeadingNumber(text)) == 1;
}

bool ShutDownChoices::storedBox(const QString &key)
{
    return boxFromText(SettingsStore::readText(kSection, key, kUnchecked));
}

ShutDownChoices ShutDownChoices::stored()
{
    ShutDownChoices choices;
    choices.filament = storedBox(kFilamentKey);
    choices.energy = storedBox(kEnergyKey);
    return choices;
}

void ShutDownChoices::store() const
{
    SettingsStore::writeText(kSection, kFilamentKey, filament ? kChecked : kUnchecked);
    SettingsStore::writeText(kSection, kEnergyKey, energy ? kChecked : kUnchecked);
}
