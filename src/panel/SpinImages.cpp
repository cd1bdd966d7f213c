#include "panel/SpinImages.h"

#include <array>

namespace {

enum class Sign { Plus, Minus };
enum class SignStyle { Solid, Embossed };

// Half the sign's arm length in pixels: a sign 5 pixels across, centred in the button.
constexpr int kSignArm = 2;
constexpr int kSignCentre = 5;

void drawButton(QImage &image, int top, bool pressed)
{
    const int last = SpinImages::kWidth - 1;
    const int bottom = top + SpinImages::kButtonHeight - 1;
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x <= last; ++x)
            image.setPixelColor(x, y, SpinImages::face());

    // Raised: light comes from the upper left (white outer edge there), dark grey inner and
    // black outer edges at the lower right. Pressed swaps the two sides.
    const QColor &outerLit = pressed ? SpinImages::outline() : SpinImages::highlight();
    const QColor &innerDark = SpinImages::shadow();
    const QColor &outerDark = pressed ? SpinImages::highlight() : SpinImages::outline();
    if (pressed) {
        for (int x = 0; x <= last; ++x)
            image.setPixelColor(x, top + 1, innerDark);
        for (int y = top; y <= bottom; ++y)
            image.setPixelColor(1, y, innerDark);
    } else {
        for (int x = 1; x < last; ++x)
            image.setPixelColor(x, bottom - 1, innerDark);
        for (int y = top + 1; y < bottom; ++y)
            image.setPixelColor(last - 1, y, innerDark);
    }
    for (int x = 0; x <= last; ++x) {
        image.setPixelColor(x, top, outerLit);
        image.setPixelColor(x, bottom, outerDark);
    }
    for (int y = top; y <= bottom; ++y) {
        image.setPixelColor(0, y, outerLit);
        image.setPixelColor(last, y, outerDark);
    }
    // The corners where the lit and the dark edge meet belong to the dark side.
    image.setPixelColor(last, top, outerDark);
    image.setPixelColor(0, bottom, outerDark);
}

void drawSignPixels(QImage &image, int cx, int cy, Sign sign, const QColor &colour)
{
    for (int d = -kSignArm; d <= kSignArm; ++d) {
        image.setPixelColor(cx + d, cy, colour);
        if (sign == Sign::Plus)
            image.setPixelColor(cx, cy + d, colour);
    }
}

void drawSign(QImage &image, int top, Sign sign, bool pressed, SignStyle style)
{
    // A pressed button's face moves one pixel to the lower right, its sign with it.
    const int shift = pressed ? 1 : 0;
    const int cx = kSignCentre + shift;
    const int cy = top + kSignCentre + shift;
    if (style == SignStyle::Embossed) {
        drawSignPixels(image, cx + 1, cy + 1, sign, SpinImages::highlight());
        drawSignPixels(image, cx, cy, sign, SpinImages::shadow());
    } else {
        drawSignPixels(image, cx, cy, sign, SpinImages::outline());
    }
}

QImage build(SpinImages::Kind kind)
{
    QImage image(SpinImages::kWidth, SpinImages::kHeight, QImage::Format_RGB32);
    const bool plusPressed = kind == SpinImages::Kind::PlusPressed;
    const bool minusPressed = kind == SpinImages::Kind::MinusPressed;
    const SignStyle style = kind == SpinImages::Kind::Disabled ? SignStyle::Embossed : SignStyle::Solid;
    drawButton(image, 0, plusPressed);
    drawSign(image, 0, Sign::Plus, plusPressed, style);
    drawButton(image, SpinImages::kButtonHeight, minusPressed);
    drawSign(image, SpinImages::kButtonHeight, Sign::Minus, minusPressed, style);
    return image;
}

} // namespace

const QColor &SpinImages::face()
{
    static const QColor colour(192, 192, 192);
    return colour;
}

const QColor &SpinImages::highlight()
{
    static const QColor colour(255, 255, 255);
    return colour;
}

const QColor &SpinImages::shadow()
{
    static const QColor colour(128, 128, 128);
    return colour;
}

const QColor &SpinImages::outline()
{
    static const QColor colour(0, 0, 0);
    return colour;
}

QImage SpinImages::image(Kind kind)
{
    return build(kind);
}

const QPixmap &SpinImages::pixmap(Kind kind)
{
    // Deliberately never destroyed: a pixmap must not outlive the application object.
    static const std::array<QPixmap *, 4> pixmaps = {
        new QPixmap(QPixmap::fromImage(build(Kind::Rest))),
        new QPixmap(QPixmap::fromImage(build(Kind::PlusPressed))),
        new QPixmap(QPixmap::fromImage(build(Kind::MinusPressed))),
        new QPixmap(QPixmap::fromImage(build(Kind::Disabled))),
    };
    return *pixmaps[static_cast<std::size_t>(kind)];
}
