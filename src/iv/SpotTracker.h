#pragma once

#include "iv/SpotMeasurement.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <cmath>

class SpotIntegrator;

// The integration disk's radius at energy E: r(E)² = r∞² + c / E.
struct RadiusLaw
{
    double atInfinity = 10.0; // pixels
    double energyTerm = 2400.0; // pixels² × eV
    double at(double energy) const
    {
        return std::sqrt(atInfinity * atInfinity + (energy > 0.0 ? energyTerm / energy : 0.0));
    }
};

// Follows the spots the operator marked from step to step: each is predicted along its line to
// (0,0), whose distance scales as 1/sqrt(E), then re-centred on the brightest point near the
// prediction. A spot not found stays at its prediction and is flagged; the operator may move it.
class SpotTracker
{
public:
    struct Spot
    {
        QString label;
        QPointF position;
    };

    void setOrigin(QPointF origin) { m_origin = origin; }
    QPointF origin() const { return m_origin; }
    void setRadiusLaw(const RadiusLaw &law) { m_law = law; }
    const RadiusLaw &radiusLaw() const { return m_law; }
    // The spots and the energy at which they are where they are.
    void setSpots(const QList<Spot> &spots, double energy);
    // The operator moved spot i, at the energy of the last step.
    void moveSpot(int index, QPointF position);
    const QList<Spot> &spots() const { return m_spots; }
    double energy() const { return m_energy; }

    // Where a spot at `position` for `fromEnergy` is expected at `toEnergy`.
    QPointF predict(QPointF position, double fromEnergy, double toEnergy) const;
    // One step at `energy`: every spot predicted, found, integrated and moved to where it was found.
    QList<SpotMeasurement> track(const SpotIntegrator &image, double energy);

private:
    QPointF m_origin;
    RadiusLaw m_law;
    QList<Spot> m_spots;
    double m_energy = 0.0;
};
