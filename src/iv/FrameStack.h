#pragma once

#include "camera/Frame.h"

#include <cstdint>
#include <vector>

// The frames of one step added up: their mean less the dark frame, and the brightest value each
// pixel reached in any of them (a saturated pixel stays known after averaging).
class FrameStack
{
public:
    void clear();
    // False (and nothing added) when the frame's size differs from the frames before.
    bool add(const Frame &frame);
    int count() const { return m_count; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    std::uint16_t saturation() const { return m_saturation; }

    // The mean of the frames less `dark` (same size, or empty for none), in counts.
    std::vector<float> mean(const std::vector<float> &dark) const;
    // The same into `out`, whose memory is used again from step to step.
    void mean(const std::vector<float> &dark, std::vector<float> &out) const;
    // `image` (the mean, as mean() gives it) as 16-bit pixels, clipped at 0 and the top; the first
    // `keep` pixels stay as the frames had them (a camera's stamp).
    std::vector<std::uint16_t> pixels(const std::vector<float> &image, int keep = 0) const;
    void pixels(const std::vector<float> &image, int keep, std::vector<std::uint16_t> &out) const;
    const std::vector<std::uint16_t> &brightest() const { return m_brightest; }

private:
    std::vector<std::uint32_t> m_sum;
    std::vector<std::uint16_t> m_brightest;
    int m_count = 0;
    int m_width = 0;
    int m_height = 0;
    std::uint16_t m_saturation = 0xFFFF;
};
