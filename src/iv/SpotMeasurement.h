#pragma once

#include <QPointF>

// One spot integrated on one image.
struct SpotMeasurement
{
    QPointF centre;
    double radius = 0.0;
    double sum = 0.0;                // over the disk
    double backgroundPerPixel = 0.0; // the surrounding ring's mean
    int pixels = 0;                  // in the disk
    double intensity = 0.0;          // sum less background per pixel times pixels
    bool saturated = false;          // a pixel of the disk reached the camera's top in a frame
    bool found = true;               // false: no spot stands out of the background here
};
