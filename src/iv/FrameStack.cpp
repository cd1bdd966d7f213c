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
    const std::uint16_t *pixels = frame.pixels.data();
    std::uint32_t *sum = m_sum.data();
    std::uint16_t *brightest = m_brightest.data();
    for (std::size_t i = 0; i < size; ++i) {
        sum[i] += pixels[i];
        brightest[i] = std::max(brightest[i], pixels[i]);
    }
    ++m_count;
    return true;
}

std::vector<float> FrameStack::mean(const std::vector<float> &dark) const
{
    std::vector<float> result(m_sum.size(), 0.0f);
    if (m_count == 0)
        return result;
    const float scale = 1.0f / float(m_count);
    const bool subtract = dark.size() == m_sum.size();
    for (std::size_t i = 0; i < m_sum.size(); ++i)
        result[i] = float(m_sum[i]) * scale - (subtract ? dark[i] : 0.0f);
    return result;
}

std::vector<std::uint16_t> FrameStack::meanPixels(const std::vector<float> &dark, int keep) const
{
    const std::vector<float> values = mean(dark);
    std::vector<std::uint16_t> result(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        result[i] = std::uint16_t(std::clamp(std::round(values[i]), 0.0f, 65535.0f));
    const std::size_t kept = std::min(values.size(), std::size_t(std::max(keep, 0)));
    for (std::size_t i = 0; i < kept && m_count > 0; ++i)
        result[i] = std::uint16_t(m_sum[i] / std::uint32_t(m_count));
    return result;
}
