#include "panel/SpinStep.h"

#include "core/Conversions.h"

#include <cmath>

SpinStep SpinStep::of(const QString &text, bool up, float lower, float upper, float step)
{
    const float v = ValOf(text);
    float next = 0.0f;
    if (up) {
        if (v >= upper)
            return {true, text};
        next = v + step;
        if (next > upper)
            next = upper;
    } else {
        if (v <= lower)
            return {true, text};
        next = v - step;
        if (next < lower)
            next = lower;
    }
    // A text too large for single precision reads as infinite and a step cannot bring it back;
    // writing "inf" would leave a text that reads as 0. Bring it to the nearer limit instead.
    if (!std::isfinite(next))
        next = next > 0.0f ? upper : lower;
    return {false, StrOf(next)};
}
