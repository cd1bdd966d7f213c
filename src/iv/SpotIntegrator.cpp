#include "iv/SpotIntegrator.h"

#include <algorithm>
#include <cmath>

SpotIntegrator::SpotIntegrator(const std::vector<float> &image, int width, int height,
                               const std::vector<std::uint16_t> &brightest, std::uint16_t saturation)
    : m_image(image), m_width(width), m_height(height), m_brightest(brightest), m_saturation(saturation)
{
}

SpotMeasurement SpotIntegrator::integrate(QPointF centre, double radius) const
{
    SpotMeasurement result;
    result.centre = centre;
    result.radius = radius;
    const double r2 = radius * radius;
    const double outer2 = 2.0 * r2; // a ring of the disk's area
    const int reach = int(std::ceil(radius * M_SQRT2));
    const int cx = int(std::lround(centre.x()));
    const int cy = int(std::lround(centre.y()));
    if (cx - reach < 0 || cy - reach < 0 || cx + reach >= m_width || cy + reach >= m_height) {
        result.found = false; // not all of it on the image
        return result;
    }
    const bool checkSaturation = m_brightest.size() == m_image.size();
    double ringSum = 0.0;
    double ringSquares = 0.0;
    int ringPixels = 0;
    for (int y = cy - reach; y <= cy + reach; ++y) {
        const double dy = y - centre.y();
        for (int x = cx - reach; x <= cx + reach; ++x) {
            const double dx = x - centre.x();
            const double d2 = dx * dx + dy * dy;
            const double value = at(x, y);
            if (d2 <= r2) {
                result.sum += value;
                ++result.pixels;
                if (checkSaturation && m_brightest[std::size_t(y) * std::size_t(m_width) + std::size_t(x)] >= m_saturation)
                    result.saturated = true;
            } else if (d2 <= outer2) {
                ringSum += value;
                ringSquares += value * value;
                ++ringPixels;
            }
        }
    }
    if (ringPixels == 0 || result.pixels == 0) {
        result.found = false;
        return result;
    }
    result.backgroundPerPixel = ringSum / ringPixels;
    result.intensity = result.sum - result.backgroundPerPixel * result.pixels;
    const double ringDeviation =
        std::sqrt(std::max(0.0, ringSquares / ringPixels - result.backgroundPerPixel * result.backgroundPerPixel));
    const double noise = ringDeviation * std::sqrt(result.pixels * (1.0 + double(result.pixels) / ringPixels));
    result.found = result.intensity > kDetectionSigmas * noise;
    return result;
}

QPointF SpotIntegrator::locate(QPointF around, double reach, double radius) const
{
    const int margin = 1;
    const int x0 = std::max(margin, int(std::floor(around.x() - reach)));
    const int x1 = std::min(m_width - 1 - margin, int(std::ceil(around.x() + reach)));
    const int y0 = std::max(margin, int(std::floor(around.y() - reach)));
    const int y1 = std::min(m_height - 1 - margin, int(std::ceil(around.y() + reach)));
    if (x0 > x1 || y0 > y1)
        return around;
    double best = -1e300;
    QPointF peak = around;
    const double reach2 = reach * reach;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            if ((x - around.x()) * (x - around.x()) + (y - around.y()) * (y - around.y()) > reach2)
                continue;
            double patch = 0.0;
            for (int v = -1; v <= 1; ++v)
                for (int u = -1; u <= 1; ++u)
                    patch += at(x + u, y + v);
            if (patch > best) {
                best = patch;
                peak = QPointF(x, y);
            }
        }
    }
    // The centroid of what stands above the ring's level, in the disk around the peak.
    const SpotMeasurement rough = integrate(peak, radius);
    if (rough.pixels == 0)
        return peak;
    const int r = int(std::ceil(radius));
    double weight = 0.0;
    double sx = 0.0;
    double sy = 0.0;
    for (int y = int(peak.y()) - r; y <= int(peak.y()) + r; ++y) {
        for (int x = int(peak.x()) - r; x <= int(peak.x()) + r; ++x) {
            if ((x - peak.x()) * (x - peak.x()) + (y - peak.y()) * (y - peak.y()) > radius * radius)
                continue;
            const double value = at(x, y) - rough.backgroundPerPixel;
            if (value <= 0.0)
                continue;
            weight += value;
            sx += value * x;
            sy += value * y;
        }
    }
    return weight > 0.0 ? QPointF(sx / weight, sy / weight) : peak;
}
