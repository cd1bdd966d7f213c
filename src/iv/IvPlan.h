#pragma once

#include <QString>

// What an I(V) measurement runs: the energy ramp and the folder its files go to. The camera,
// the dark frame and the spots are set beforehand.
struct IvPlan
{
    double from = 0.0;
    double to = 0.0;
    double step = 1.0;
    int settleMs = 0;
    QString folder;
};
