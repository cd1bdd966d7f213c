#pragma once

#include "iv/SpotMeasurement.h"

#include <cstdint>
#include <vector>

// Integrates spots on a dark-subtracted image: the sum over a disk less the mean of the ring
// around it (of the disk's area) times the disk's pixels.
class SpotIntegrator
{
public:
    // A spot counts as found when its intensity stands this many standard deviations of the
    // background's noise above nothing.
    static constexpr double kDetectionSigmas = 5.0;

    // `brightest` (the brightest each pixel was in any frame, or empty) flags saturation.
    SpotIntegrator(const std::vector<float> &image, int width, int height,
                   const std::vector<std::uint16_t> &brightest, std::uint16_t saturation);

    SpotMeasurement integrate(QPointF centre, double radius) const;
    // The spot's centre near `around`: the brightest 3×3 patch within `reach` pixels, refined
    // to the intensity-weighted centroid of the disk around it.
    QPointF locate(QPointF around, double reach, double radius) const;

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    float at(int x, int y) const { return m_image[std::size_t(y) * std::size_t(m_width) + std::size_t(x)]; }

    const std::vector<float> &m_image;
    int m_width;
    int m_height;
    const std::vector<std::uint16_t> &m_brightest;
    std::uint16_t m_saturation;
};
