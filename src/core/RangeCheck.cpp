#include "core/RangeCheck.h"

#include "core/Conversions.h"

#include <cmath>

RangeCheck RangeCheck::of(const QString &text, float lower, float upper)
{
    RangeCheck result;
    result.message = rangeMessage(lower, upper);
    const float v = ValOf(text);
    // Comparisons with NaN are all false, so a NaN would pass as valid and be sent; treat it
    // as out of range and correct it to the lower limit instead.
    if (std::isnan(v) || v < lower) {
        result.outOfRange = true;
        result.correctedText = StrOf(lower);
    } else if (v > upper) {
        result.outOfRange = true;
        result.correctedText = StrOf(upper);
    }
    return result;
}

QString RangeCheck::rangeMessage(float lower, float upper)
{
    return QStringLiteral("Valid range is ") + StrOf(lower) + QStringLiteral(" ... ") + StrOf(upper);
}
