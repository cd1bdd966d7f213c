#include "iv/FrameStack.h"

#include <algorithm>
#include <cmath>

void FrameStack::clear()
{
    m_sum.clear();
    m_brightest.clear();
    m_count = 0;
    m_width = 0;
    m_height = 0;
}

bool FrameStack::add(const Frame &frame)
{
    const std::size_t size = frame.pixels.size();
    if (m_count == 0) {
        m_width = frame.width;
        m_height = frame.height;
        m_saturation = frame.saturation();
        m_sum.assign(size, 0);
        m_brightest.assign(size, 0);
    } else if (frame.width != m_width || frame.height != m_height) {
        return false;
    }
    const std::uint16_t *__restrict pixels = frame.pixels.data();
    std::uint32_t *__restrict sum = m_sum.data();
    std::uint16_t *__restrict brightest = m_brightest.data();
    for (std::size_t i = 0; i < size; ++i) {
        sum[i] += pixels[i];
        brightest[i] = std::max(brightest[i], pixels[i]);
    }
    ++m_count;
    return true;
}

std::vector<float> FrameStack::mean(const std::vector<float> &dark) const
{
    std::vector<float> result;
    mean(dark, result);
    return result;
}

void FrameStack::mean(const std::vector<float> &dark, std::vector<float> &result) const
{
    result.resize(m_sum.size());
    if (m_count == 0) {
        std::fill(result.begin(), result.end(), 0.0f);
        return;
    }
    const float scale = 1.0f / float(m_count);
    const std::uint32_t *__restrict sum = m_sum.data();
    float *__restrict to = result.data();
    for (std::size_t i = 0; i < m_sum.size(); ++i)
        to[i] = float(sum[i]) * scale;
    if (dark.size() == m_sum.size()) {
        const float *__restrict less = dark.data();
        for (std::size_t i = 0; i < m_sum.size(); ++i)
            to[i] -= less[i];
    }
}

std::vector<std::uint16_t> FrameStack::pixels(const std::vector<float> &image, int keep) const
{
    std::vector<std::uint16_t> result;
    pixels(image, keep, result);
    return result;
}

void FrameStack::pixels(const std::vector<float> &image, int keep, std::vector<std::uint16_t> &result) const
{
    result.resize(image.size());
    const float *__restrict from = image.data();
    std::uint16_t *__restrict to = result.data();
    // Without branches or library calls, so that it runs as vector code: about half of a
    // dark-subtracted background lies below 0.
    // (The values are means of 16-bit pixels less a dark frame of such: well inside 32 bits.)
    for (std::size_t i = 0; i < image.size(); ++i) {
        const auto rounded = std::int32_t(from[i] + 0.5f);
        to[i] = std::uint16_t(std::clamp(rounded, std::int32_t(0), std::int32_t(65535)));
    }
    const std::size_t kept = std::min(image.size(), std::size_t(std::max(keep, 0)));
    for (std::size_t i = 0; i < kept && m_count > 0 && i < m_sum.size(); ++i)
        to[i] = std::uint16_t(m_sum[i] / std::uint32_t(m_count));
}
