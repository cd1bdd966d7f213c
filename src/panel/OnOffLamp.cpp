#include "panel/OnOffLamp.h"

#include <QPainter>

OnOffLamp::OnOffLamp(int module, QWidget *parent) : QLabel(parent), m_module(module)
{
    setObjectName(QStringLiteral("Label_OnOff(%1)").arg(module));
    setFixedSize(kSize, kSize);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, darkColour());
    colours.setColor(QPalette::WindowText, litColour());
    setPalette(colours);
    setAutoFillBackground(true);
}

QColor OnOffLamp::litColour()
{
    return QColor(0, 255, 0);
}

QColor OnOffLamp::darkColour()
{
    return QColor(0, 0, 0);
}

void OnOffLamp::setLit(bool lit)
{
    if (m_lit == lit)
        return;
    m_lit = lit;
    update();
}

void OnOffLamp::paintEvent(QPaintEvent *)
{
    // Lit means filled with the lamp's own text colour, whatever the palette says it is.
    QPainter painter(this);
    painter.fillRect(rect(), m_lit ? palette().color(QPalette::WindowText) : palette().color(QPalette::Window));
}
