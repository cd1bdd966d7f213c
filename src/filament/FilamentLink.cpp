#include "filament/FilamentLink.h"

#include "core/Conversions.h"
#include "filament/FilamentRamp.h"
#include "filament/PressureInterlock.h"

#include <algorithm>
#include <cmath>

FilamentLink::FilamentLink(const FilamentRamp &ramp, PressureInterlock &interlock)
    : m_ramp(ramp), m_interlock(interlock)
{
}

std::optional<QString> FilamentLink::itemText(const QString &item) const
{
    if (item == kRampItem) {
        if (!m_ramp.isRunning())
            return QStringLiteral("idle");
        return FirstCommaToPoint(StrOf(m_ramp.lastSent())) + QLatin1Char(' ') + FirstCommaToPoint(StrOf(m_ramp.target()));
    }
    if (item == kPressureItem) {
        const std::optional<double> pressure = m_interlock.pressure();
        return pressure ? FirstCommaToPoint(StrOf(float(*pressure))) : QString();
    }
    if (item == kInterlockItem)
        return m_interlock.stateText();
    return std::nullopt;
}

bool FilamentLink::pokeItem(const QString &item, const QString &text)
{
    if (item != kPressureItem)
        return false;
    // A text without a digit reads as 0 mbar, which would arm the interlock: no reading at all.
    const bool hasDigit = std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    m_interlock.reportPressure(hasDigit ? double(ValOf(text)) : std::nan(""));
    return true;
}
