#include "camera/SimulatedScreen.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kReferenceExposureUs = 10000.0;
// Flux of a beam at its brightest, counts at the reference exposure: its peak pixel stays well
// below 16 bits then.
constexpr double kPeakFlux = 1.5e6;
// Distance of a first-order spot from (0,0) times sqrt(E), as a share of the screen's width.
constexpr double kSpreadTimesRootEnergy = 0.32 * 7.0710678; // 32 % of the width at 50 eV
constexpr double kSigmaInfinity = 2.5; // pixels
constexpr double kSigmaEnergy = 150.0; // pixels² × eV
constexpr double kGlow = 250.0;        // background counts at the centre, reference exposure
constexpr double kReadNoise = 3.0;     // counts
constexpr double kScreenRadius = 0.47; // of the width: the visible screen
constexpr std::uint16_t kStampMark = 0x1EED;
constexpr double kStampUnitsPerEv = 100.0;
constexpr double kMaxCount = 65535.0;
constexpr std::size_t kNoiseSlack = 65536; // frames start their noise this far apart at most

constexpr std::array<std::array<int, 2>, 9> kBeams{{
    {0, 0}, {1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, 1}, {-1, 1}, {-1, -1}, {1, -1},
}};

// A small fast generator: the noise needs speed, not quality.
struct Noise
{
    std::uint64_t state;
    double next() // about normal, mean 0, deviation 1
    {
        const auto uniform = [this] {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return double(state >> 11) * (1.0 / 9007199254740992.0);
        };
        return (uniform() + uniform() + uniform() - 1.5) * 2.0;
    }
};

} // namespace

SimulatedScreen::SimulatedScreen(int width, int height)
    : m_width(width), m_height(height), m_specular(0.5 * width, 0.56 * height),
      m_glowShape(std::size_t(width) * std::size_t(height), 0.0f)
{
    const double cx = 0.5 * m_width;
    const double cy = 0.5 * m_height;
    const double visible2 = std::pow(kScreenRadius * m_width, 2);
    const double glowWidth2 = 2.0 * std::pow(0.35 * m_width, 2);
    for (int y = 0; y < m_height; ++y) {
        float *row = m_glowShape.data() + std::size_t(y) * m_width;
        const double dy2 = (y - cy) * (y - cy);
        for (int x = 0; x < m_width; ++x) {
            const double r2 = (x - cx) * (x - cx) + dy2;
            row[x] = r2 < visible2 ? float(std::exp(-r2 / glowWidth2)) : 0.0f;
        }
    }
    // Normal deviates to draw the noise from, and the noise's size for each level of light.
    Noise noise{0x2545F4914F6CDD1Dull};
    m_noise.resize(m_glowShape.size() + kNoiseSlack);
    for (float &value : m_noise)
        value = float(noise.next());
    m_deviation.resize(std::size_t(kMaxCount) + 1);
    for (std::size_t level = 0; level < m_deviation.size(); ++level)
        m_deviation[level] = float(std::sqrt(kReadNoise * kReadNoise + 0.25 * double(level)));
}

double SimulatedScreen::beamIntensity(int h, int k, double energy)
{
    if (energy <= 0.0)
        return 0.0;
    // Bragg-like peaks whose places and widths differ from beam to beam, on a slow decay.
    const int order = h * h + k * k;
    const int turn = (h + 2 * k + 8) % 4;
    double sum = 0.0;
    for (int j = 0; j < 4; ++j) {
        const double centre = 45.0 + 62.0 * j + 11.0 * turn + 17.0 * order;
        const double width = 9.0 + 3.0 * j + 2.0 * turn;
        const double height = 1.0 - 0.18 * j;
        sum += height * std::exp(-0.5 * std::pow((energy - centre) / width, 2));
    }
    return std::clamp(0.06 + 0.9 * sum * std::exp(-energy / 500.0), 0.0, 1.0);
}

double SimulatedScreen::exposureScale(double exposureUs, double gain) const
{
    return exposureUs / kReferenceExposureUs * std::pow(10.0, gain / 20.0);
}

QList<SimulatedScreen::Spot> SimulatedScreen::spots(double energy, double exposureUs, double gain) const
{
    QList<Spot> result;
    if (energy <= 0.0)
        return result;
    const double spread = kSpreadTimesRootEnergy * m_width / std::sqrt(energy);
    const double sigma = std::sqrt(kSigmaInfinity * kSigmaInfinity + kSigmaEnergy / energy);
    const double scale = exposureScale(exposureUs, gain);
    const double visible = kScreenRadius * m_width;
    for (const auto &[h, k] : kBeams) {
        const QPointF centre = m_specular + QPointF(h * spread, -k * spread);
        const QPointF offset = centre - QPointF(0.5 * m_width, 0.5 * m_height);
        if (std::hypot(offset.x(), offset.y()) > visible - 4.0 * sigma)
            continue;
        result.append({h, k, centre, sigma, kPeakFlux * scale * beamIntensity(h, k, energy)});
    }
    return result;
}

void SimulatedScreen::render(double energy, double exposureUs, double gain, std::uint64_t seed,
                             std::uint16_t *pixels) const
{
    const double scale = exposureScale(exposureUs, gain);
    const auto glow = float(energy > 0.0 ? kGlow * scale * (0.4 + 60.0 / (energy + 40.0)) : 0.0);
    std::vector<float> light(m_glowShape.size());
    for (std::size_t i = 0; i < light.size(); ++i)
        light[i] = glow * m_glowShape[i];
    for (const Spot &spot : spots(energy, exposureUs, gain)) {
        const int reach = int(std::ceil(6.0 * spot.sigma));
        const double norm = spot.flux / (2.0 * M_PI * spot.sigma * spot.sigma);
        const double twoSigma2 = 2.0 * spot.sigma * spot.sigma;
        const int x0 = std::max(0, int(spot.centre.x()) - reach);
        const int x1 = std::min(m_width - 1, int(spot.centre.x()) + reach);
        const int y0 = std::max(0, int(spot.centre.y()) - reach);
        const int y1 = std::min(m_height - 1, int(spot.centre.y()) + reach);
        for (int y = y0; y <= y1; ++y) {
            float *row = light.data() + std::size_t(y) * m_width;
            const double dy2 = (y - spot.centre.y()) * (y - spot.centre.y());
            for (int x = x0; x <= x1; ++x)
                row[x] += float(norm * std::exp(-((x - spot.centre.x()) * (x - spot.centre.x()) + dy2) / twoSigma2));
        }
    }
    // Noise from the table at a place of this frame's own, scaled by the shot noise of the light.
    const std::size_t offset = std::size_t((seed * 0x9E3779B97F4A7C15ull) >> 48) % kNoiseSlack;
    const float *noise = m_noise.data() + offset;
    const float *deviation = m_deviation.data();
    const int top = int(m_deviation.size() - 1);
    for (std::size_t i = 0; i < light.size(); ++i) {
        const float signal = light[i];
        const int level = std::min(int(signal), top);
        const int value = int(float(kDarkLevel) + 0.5f + signal + noise[i] * deviation[level]);
        pixels[i] = std::uint16_t(std::clamp(value, 0, int(kMaxCount)));
    }
    stamp(pixels, energy);
}

void SimulatedScreen::stamp(std::uint16_t *pixels, double energy)
{
    const auto units = std::uint32_t(std::lround(std::max(0.0, energy) * kStampUnitsPerEv));
    pixels[0] = kStampMark;
    pixels[1] = std::uint16_t(units >> 16);
    pixels[2] = std::uint16_t(units & 0xFFFF);
    pixels[3] = std::uint16_t(pixels[1] ^ pixels[2] ^ kStampMark);
}

std::optional<double> SimulatedScreen::readStamp(const std::uint16_t *pixels)
{
    if (pixels[0] != kStampMark || pixels[3] != std::uint16_t(pixels[1] ^ pixels[2] ^ kStampMark))
        return std::nullopt;
    return double((std::uint32_t(pixels[1]) << 16) | pixels[2]) / kStampUnitsPerEv;
}
