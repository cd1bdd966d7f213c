#pragma once

#include "camera/Frame.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

// The live image: 16-bit frames shown through a window (black and white levels), saturated
// pixels in red, the (0,0) mark and the spots with their integration disks on top. A click on
// the image says where; a mark can be dragged, and a right click on a spot removes it.
class FrameView : public QWidget
{
    Q_OBJECT
public:
    struct Mark
    {
        QString label;
        QPointF position;
        double radius = 0.0;
        bool found = true;
        bool saturated = false;
    };

    explicit FrameView(QWidget *parent = nullptr);

    void setFrame(const FramePtr &frame);
    const FramePtr &frame() const { return m_frame; }
    void setLevels(int black, int white);
    int black() const { return m_black; }
    int white() const { return m_white; }
    // Levels from the frame's own spread (0.5 % to 99.95 % of its pixels).
    std::pair<int, int> automaticLevels() const;
    void setMarks(const QList<Mark> &spots, const std::optional<QPointF> &origin);
    const QImage &image() const { return m_image; }

    // Image coordinates of a point of the widget, and back.
    QPointF toImage(QPointF widgetPoint) const;
    QPointF toWidget(QPointF imagePoint) const;

    QSize sizeHint() const override { return {640, 640}; }

signals:
    void clicked(QPointF position);
    void spotMoved(int index, QPointF position);
    void originMoved(QPointF position);
    void spotRemoveRequested(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    static constexpr int kOriginIndex = -1;
    static constexpr int kNoMark = -2;

    void render();
    QRectF target() const;
    int markAt(QPointF widgetPoint) const;

    FramePtr m_frame;
    QImage m_image;
    std::vector<QRgb> m_table; // grey (or red) of each value
    std::array<int, 3> m_tableKey{};
    int m_black = 0;
    int m_white = 65535;
    QList<Mark> m_spots;
    std::optional<QPointF> m_origin;
    int m_dragging = kNoMark;
    QPointF m_dragPosition;
};
