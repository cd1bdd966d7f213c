#pragma once

#include "iv/SpotMeasurement.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

// One energy step of an I(V) measurement as it was measured and written.
struct IvStep
{
    int k = 0;                 // from 1
    double setEnergy = 0.0;    // eV, as sent
    double energy = 0.0;       // eV, as the supply read it back
    double i0 = 0.0;           // beam current, A
    QDateTime time;
    QString frameFile;         // relative to the measurement's folder
    int frames = 0;            // averaged
    double exposureUs = 0.0;
    double gain = 0.0;
    QStringList monitors;      // the other monitors, in the order of the files' columns
    QList<SpotMeasurement> spots;
};
Q_DECLARE_METATYPE(IvStep)
