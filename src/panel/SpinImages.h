#pragma once

#include <QImage>
#include <QPixmap>

// The four 12 x 24 images of a spin control, drawn in code in the colours of the standard
// 16-colour palette: a plus button in the upper 12 rows, a minus button in the lower 12.
class SpinImages
{
public:
    enum class Kind { Rest, PlusPressed, MinusPressed, Disabled };

    static constexpr int kWidth = 12;
    static constexpr int kHeight = 24;
    static constexpr int kButtonHeight = 12;

    static const QColor &face();      // light grey 192,192,192
    static const QColor &highlight(); // white
    static const QColor &shadow();    // dark grey 128,128,128
    static const QColor &outline();   // black

    static QImage image(Kind kind);
    // Needs a QGuiApplication; built once and kept for the life of the process.
    static const QPixmap &pixmap(Kind kind);

    static const QPixmap &rest() { return pixmap(Kind::Rest); }
    static const QPixmap &plusPressed() { return pixmap(Kind::PlusPressed); }
    static const QPixmap &minusPressed() { return pixmap(Kind::MinusPressed); }
    static const QPixmap &disabled() { return pixmap(Kind::Disabled); }
};
