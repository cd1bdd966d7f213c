#pragma once

#include <QList>
#include <QRect>
#include <QWidget>

// The screen-voltage bar (Picture_Screen): a black box 975 x 300 twips with a green drawing
// colour, in which the read-back draws filled boxes in units of one screen pixel. Boxes
// accumulate until clear(); parts outside the box are clipped.
class ScreenBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidthTwips = 975;
    static constexpr int kHeightTwips = 300;
    static constexpr int kTwipsPerInch = 1440;

    explicit ScreenBar(QWidget *parent = nullptr);

    // Pixel size of the box at a logical DPI (65 x 20 at 96 dpi).
    static QSize pixelSizeFor(int logicalDpiX, int logicalDpiY);

    void clear();
    // Fills the box between two corners: x1 <= x < x2, y1 <= y < y2 (the corners (1,1) and
    // (4,13) fill 3 x 12 pixels), in either order of the corners.
    void drawBox(QPoint corner1, QPoint corner2);
    // Fills exactly the pixels of `area`.
    void drawBox(const QRect &area);
    const QList<QRect> &boxes() const { return m_boxes; }
    // Clears the bar and draws these boxes, each given by its two corners; the bar is repainted
    // only when what it shows changes (the read-back redraws it every second).
    void setBoxes(const QList<QRect> &cornerBoxes);

    static QColor drawingColour();
    static QColor backgroundColour();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<QRect> m_boxes;
};
