#pragma once

#include <QMetaType>
#include <QString>

// An opened camera as the operator sees it, with the bounds of what can be set.
struct CameraInfo
{
    QString id;
    QString name;
    QString pixelFormat;
    int width = 0;
    int height = 0;
    int bitDepth = 16;
    double exposureMinUs = 0.0;
    double exposureMaxUs = 0.0;
    double gainMin = 0.0;
    double gainMax = 0.0;
    bool simulated = false;
    bool canTrigger = false; // takes a frame when asked to, not only free running
};
Q_DECLARE_METATYPE(CameraInfo)
