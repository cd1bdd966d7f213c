#include "iv/FrameView.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kGrabPixels = 10.0; // how near a mark a press takes it
const QColor kFoundColor(60, 220, 60);
const QColor kLostColor(255, 160, 0);
const QColor kOriginColor(80, 160, 255);
constexpr QRgb kSaturatedColor = 0xFFFF0000;

} // namespace

FrameView::FrameView(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(320, 320);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void FrameView::setFrame(const FramePtr &frame)
{
    m_frame = frame;
    render();
    update();
}

void FrameView::setLevels(int black, int white)
{
    m_black = std::clamp(black, 0, 65534);
    m_white = std::clamp(white, m_black + 1, 65535);
    render();
    update();
}

std::pair<int, int> FrameView::automaticLevels() const
{
    if (!m_frame || m_frame->pixels.empty())
        return {m_black, m_white};
    std::vector<std::uint32_t> histogram(65536, 0);
    for (const std::uint16_t value : m_frame->pixels)
        ++histogram[value];
    const auto total = double(m_frame->pixels.size());
    const auto at = [&](double share) {
        double seen = 0.0;
        for (int value = 0; value < 65536; ++value) {
            seen += histogram[std::size_t(value)];
            if (seen >= share * total)
                return value;
        }
        return 65535;
    };
    return {at(0.005), std::max(at(0.9995), at(0.005) + 1)};
}

void FrameView::setMarks(const QList<Mark> &spots, const std::optional<QPointF> &origin)
{
    m_spots = spots;
    m_origin = origin;
    update();
}

void FrameView::render()
{
    if (!m_frame || m_frame->pixels.empty()) {
        m_image = QImage();
        return;
    }
    // One table for every value, made again only when the levels or the depth change: a frame
    // is then a lookup per pixel.
    const std::array<int, 3> key{m_black, m_white, m_frame->saturation()};
    if (m_table.empty() || key != m_tableKey) {
        m_table.resize(65536);
        const double span = double(m_white - m_black);
        for (int value = 0; value < 65536; ++value) {
            const int grey = std::clamp(int(std::lround((value - m_black) * 255.0 / span)), 0, 255);
            m_table[std::size_t(value)] = value >= m_frame->saturation() ? kSaturatedColor : qRgb(grey, grey, grey);
        }
        m_tableKey = key;
    }
    const QRgb *table = m_table.data();
    if (m_image.width() != m_frame->width || m_image.height() != m_frame->height)
        m_image = QImage(m_frame->width, m_frame->height, QImage::Format_RGB32);
    for (int y = 0; y < m_frame->height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(y));
        const std::uint16_t *row = m_frame->row(y);
        for (int x = 0; x < m_frame->width; ++x)
            line[x] = table[row[x]];
    }
}

QRectF FrameView::target() const
{
    if (m_image.isNull())
        return QRectF(rect());
    QSizeF size = m_image.size();
    size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - size.width()) / 2.0, (height() - size.height()) / 2.0), size);
}

QPointF FrameView::toImage(QPointF widgetPoint) const
{
    const QRectF area = target();
    if (m_image.isNull() || area.isEmpty())
        return widgetPoint;
    return QPointF((widgetPoint.x() - area.left()) * m_image.width() / area.width() - 0.5,
                   (widgetPoint.y() - area.top()) * m_image.height() / area.height() - 0.5);
}

QPointF FrameView::toWidget(QPointF imagePoint) const
{
    const QRectF area = target();
    if (m_image.isNull())
        return imagePoint;
    return QPointF(area.left() + (imagePoint.x() + 0.5) * area.width() / m_image.width(),
                   area.top() + (imagePoint.y() + 0.5) * area.height() / m_image.height());
}

int FrameView::markAt(QPointF widgetPoint) const
{
    const auto near = [&](QPointF imagePoint) {
        const QPointF d = toWidget(imagePoint) - widgetPoint;
        return std::hypot(d.x(), d.y()) <= kGrabPixels;
    };
    for (int i = int(m_spots.size()) - 1; i >= 0; --i)
        if (near(m_spots[i].position))
            return i;
    if (m_origin && near(*m_origin))
        return kOriginIndex;
    return kNoMark;
}

void FrameView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_image.isNull()) {
        painter.setPen(Qt::gray);
        painter.drawText(rect(), Qt::AlignCenter, tr("No image"));
        return;
    }
    const QRectF area = target();
    painter.drawImage(area, m_image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = area.width() / m_image.width();
    for (int i = 0; i < m_spots.size(); ++i) {
        const Mark &spot = m_spots[i];
        const QPointF centre = toWidget(i == m_dragging ? m_dragPosition : spot.position);
        painter.setPen(QPen(spot.found && !spot.saturated ? kFoundColor : kLostColor, 1.5));
        const double r = std::max(3.0, spot.radius * scale);
        painter.drawEllipse(centre, r, r);
        painter.drawText(centre + QPointF(r + 3.0, -r), spot.label);
    }
    if (m_origin) {
        const QPointF centre = toWidget(m_dragging == kOriginIndex ? m_dragPosition : *m_origin);
        painter.setPen(QPen(kOriginColor, 1.5));
        painter.drawLine(centre - QPointF(8, 0), centre + QPointF(8, 0));
        painter.drawLine(centre - QPointF(0, 8), centre + QPointF(0, 8));
        painter.drawText(centre + QPointF(10.0, -6.0), QStringLiteral("(0,0)"));
    }
}

void FrameView::mousePressEvent(QMouseEvent *event)
{
    if (m_image.isNull())
        return;
    const int mark = markAt(event->position());
    if (event->button() == Qt::RightButton) {
        if (mark >= 0)
            emit spotRemoveRequested(mark);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (mark != kNoMark) {
        m_dragging = mark;
        m_dragPosition = toImage(event->position());
        return;
    }
    emit clicked(toImage(event->position()));
}

void FrameView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging == kNoMark)
        return;
    m_dragPosition = toImage(event->position());
    update();
}

void FrameView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragging == kNoMark || event->button() != Qt::LeftButton)
        return;
    const int mark = m_dragging;
    m_dragging = kNoMark;
    const QPointF position = toImage(event->position());
    if (mark == kOriginIndex)
        emit originMoved(position);
    else
        emit spotMoved(mark, position);
    update();
}
