#include "core/Twips.h"

#include "core/Conversions.h"

namespace {

// A missing or broken DPI reading would divide by zero; fall back to the common 96.
constexpr double kFallbackDpi = 96.0;

double usableDpi(double logicalDpi)
{
    return logicalDpi > 0.0 ? logicalDpi : kFallbackDpi;
}

} // namespace

double Twips::fromPixels(double pixels, double logicalDpi)
{
    return pixels * kPerInch / usableDpi(logicalDpi);
}

qint32 Twips::roundedFromPixels(double pixels, double logicalDpi)
{
    return RoundToInt32(fromPixels(pixels, logicalDpi));
}

int Twips::toPixels(double twips, double logicalDpi)
{
    return RoundToInt32(twips * usableDpi(logicalDpi) / kPerInch);
}
