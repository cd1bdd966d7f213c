#pragma once

#include "panel/SpinControl.h"
#include "panel/SpinImages.h"

#include <QImage>
#include <QPoint>

// Press positions on a 12 x 24 spin control, and which of its images it shows.
constexpr QPoint kUpperHalf(6, 5);
constexpr QPoint kLowerHalf(6, 18);

inline bool shows(const SpinControl *spin, SpinImages::Kind kind)
{
    return spin->pixmap().toImage().convertToFormat(QImage::Format_RGB32) == SpinImages::image(kind);
}
