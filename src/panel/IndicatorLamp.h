#pragma once

#include <QColor>
#include <QWidget>

// A small square lamp whose fill colour shows a state (Picture_Busy for the serial link,
// Picture_DDE for the control link). It starts in the window's default control background.
class IndicatorLamp : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSize = 13; // pixels, square

    explicit IndicatorLamp(const QString &name, QWidget *parent = nullptr);

    void setColor(const QColor &colour);
    QColor color() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour;
};
