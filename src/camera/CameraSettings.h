#pragma once

#include <QMetaType>
#include <QString>

// What the operator chose for the camera; kept in the settings' [Camera] section.
struct CameraSettings
{
    static constexpr double kDefaultExposureUs = 10000.0;
    static constexpr int kMaxFramesToAverage = 100;

    QString cameraId;       // empty: the simulated camera
    double exposureUs = kDefaultExposureUs;
    double gain = 0.0;
    QString pixelFormat;    // empty: the deepest mono format the camera offers
    int framesToAverage = 1;

    static CameraSettings load();
    void save() const;
    bool operator==(const CameraSettings &other) const = default;
};
Q_DECLARE_METATYPE(CameraSettings)
