#include "panel/ScreenBar.h"

#include <QPainter>

#include <algorithm>

ScreenBar::ScreenBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture_Screen"));
    setFixedSize(pixelSizeFor(logicalDpiX(), logicalDpiY()));
}

QSize ScreenBar::pixelSizeFor(int logicalDpiX, int logicalDpiY)
{
    const auto toPixels = [](int twips, int dpi) { return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch; };
    return {toPixels(kWidthTwips, logicalDpiX), toPixels(kHeightTwips, logicalDpiY)};
}

QColor ScreenBar::drawingColour()
{
    return QColor(0, 255, 0);
}

QColor ScreenBar::backgroundColour()
{
    return QColor(0, 0, 0);
}

void ScreenBar::clear()
{
    m_boxes.clear();
    update();
}

namespace {
QRect filledArea(QPoint corner1, QPoint corner2)
{
    const int left = std::min(corner1.x(), corner2.x());
    const int right = std::max(corner1.x(), corner2.x());
    const int top = std::min(corner1.y(), corner2.y());
    const int bottom = std::max(corner1.y(), corner2.y());
    return QRect(left, top, right - left, bottom - top);
}
} // namespace

void ScreenBar::drawBox(QPoint corner1, QPoint corner2)
{
    drawBox(filledArea(corner1, corner2));
}

void ScreenBar::setBoxes(const QList<QRect> &cornerBoxes)
{
    QList<QRect> boxes;
    for (const QRect &corners : cornerBoxes) {
        const QRect area = filledArea(corners.topLeft(), corners.bottomRight());
        if (!area.isEmpty())
            boxes.append(area);
    }
    if (boxes == m_boxes)
        return;
    m_boxes = boxes;
    update();
}

void ScreenBar::drawBox(const QRect &area)
{
    if (area.isEmpty())
        return;
    m_boxes.append(area);
    update();
}

void ScreenBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), backgroundColour());
    for (const QRect &box : std::as_const(m_boxes))
        painter.fillRect(box, drawingColour());
}
