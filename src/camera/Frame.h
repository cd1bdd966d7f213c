#pragma once

#include <QMetaType>

#include <cstdint>
#include <memory>
#include <vector>

// One image as the camera delivered it, widened to 16 bits a pixel.
struct Frame
{
    int width = 0;
    int height = 0;
    int bitDepth = 16; // significant bits: a pixel at (1 << bitDepth) - 1 is saturated
    std::vector<std::uint16_t> pixels; // row by row
    quint64 id = 0;
    // Wall-clock nanoseconds: when the frame reached the host, and the latest its exposure can
    // have started (arrival less exposure and readout).
    qint64 arrivalNs = 0;
    qint64 exposureStartNs = 0;
    double exposureUs = 0.0;
    double gain = 0.0;
    bool complete = true; // false: lost packets or a failed buffer; never used

    std::uint16_t saturation() const { return std::uint16_t((1u << bitDepth) - 1u); }
    const std::uint16_t *row(int y) const { return pixels.data() + std::size_t(y) * std::size_t(width); }
};

using FramePtr = std::shared_ptr<const Frame>;
Q_DECLARE_METATYPE(FramePtr)
