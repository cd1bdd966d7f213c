#pragma once

#include <QtGlobal>

// Window geometry is kept in twips (1/1440 inch); the window system works in pixels. The
// conversion uses the screen's logical DPI, so it follows the desktop's scale setting.
class Twips
{
public:
    static constexpr double kPerInch = 1440.0;

    static double fromPixels(double pixels, double logicalDpi);
    // Whole twips, halves to even: what an edge is stored as.
    static qint32 roundedFromPixels(double pixels, double logicalDpi);
    // Whole pixels, halves to even.
    static int toPixels(double twips, double logicalDpi);
};
