#include "panel/IndicatorLamp.h"

#include <QPainter>

IndicatorLamp::IndicatorLamp(const QString &name, QWidget *parent)
    : QWidget(parent), m_colour(palette().color(QPalette::Button))
{
    setObjectName(name);
    setFixedSize(kSize, kSize);
    // It fills every pixel: a colour change repaints the lamp alone, not the frame behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void IndicatorLamp::setColor(const QColor &colour)
{
    if (m_colour == colour)
        return;
    m_colour = colour;
    update();
}

void IndicatorLamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_colour);
}
