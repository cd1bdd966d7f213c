#include "iv/SpotTracker.h"

#include "iv/SpotIntegrator.h"

#include <algorithm>

namespace {

// How far from its prediction a spot is looked for: the disk's radius, and no less than this.
constexpr double kMinSearchPixels = 8.0;

} // namespace

void SpotTracker::setSpots(const QList<Spot> &spots, double energy)
{
    m_spots = spots;
    m_energy = energy;
}

void SpotTracker::moveSpot(int index, QPointF position)
{
    if (index >= 0 && index < m_spots.size())
        m_spots[index].position = position;
}

QPointF SpotTracker::predict(QPointF position, double fromEnergy, double toEnergy) const
{
    if (fromEnergy <= 0.0 || toEnergy <= 0.0)
        return position;
    return m_origin + (position - m_origin) * std::sqrt(fromEnergy / toEnergy);
}

QList<SpotMeasurement> SpotTracker::track(const SpotIntegrator &image, double energy)
{
    QList<SpotMeasurement> results;
    const double radius = m_law.at(energy);
    for (Spot &spot : m_spots) {
        const QPointF predicted = predict(spot.position, m_energy, energy);
        const QPointF found = image.locate(predicted, std::max(radius, kMinSearchPixels), radius);
        SpotMeasurement measured = image.integrate(found, radius);
        if (!measured.found) {
            // Nothing there: measured where it should be, flagged, and followed from there.
            measured = image.integrate(predicted, radius);
            measured.found = false;
            spot.position = predicted;
        } else {
            spot.position = found;
        }
        results.append(measured);
    }
    m_energy = energy;
    return results;
}
