#pragma once

#include <QList>
#include <QPointF>

#include <cstdint>
#include <optional>
#include <vector>

// A LEED screen as a camera would see it, for the simulated camera: the specular (0,0) spot and
// the first- and second-order spots of a square lattice, which move toward (0,0) as 1/sqrt(E);
// each beam's brightness follows a smooth made-up I(V) curve. Background glow, a dark level and
// noise come on top, and the energy is stamped into the first pixels so that a frame tells which
// energy it shows. Rendering is deterministic for a given seed.
class SimulatedScreen
{
public:
    struct Spot
    {
        int h = 0;
        int k = 0;
        QPointF centre;
        double sigma = 0.0; // of the spot's Gaussian profile, pixels
        double flux = 0.0;  // its whole signal, counts (what an integration should find)
    };

    static constexpr int kDarkLevel = 100; // counts with no light at all
    static constexpr int kStampPixels = 4;

    SimulatedScreen(int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }
    QPointF specular() const { return m_specular; }
    // The spots on the screen at this energy, for this exposure and gain (dB).
    QList<Spot> spots(double energy, double exposureUs, double gain) const;
    // A frame: `pixels` holds width × height values.
    void render(double energy, double exposureUs, double gain, std::uint64_t seed, std::uint16_t *pixels) const;

    // The made-up I(V) curve of beam (h, k), 0 to 1.
    static double beamIntensity(int h, int k, double energy);
    static void stamp(std::uint16_t *pixels, double energy);
    static std::optional<double> readStamp(const std::uint16_t *pixels);

private:
    double exposureScale(double exposureUs, double gain) const;

    int m_width;
    int m_height;
    QPointF m_specular;
    std::vector<float> m_glowShape; // the background's shape, 0 off the screen
    std::vector<float> m_noise;     // normal deviates
    std::vector<float> m_deviation; // the noise's size at each level of light
};
