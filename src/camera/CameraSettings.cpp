#include "camera/CameraSettings.h"

#include "core/SettingsStore.h"

#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Camera");
constexpr double kMinExposureUs = 1.0;
constexpr double kMaxExposureUs = 60.0e6;

double readNumber(const QString &key, double fallback, double lowest, double highest)
{
    bool ok = false;
    const double value = SettingsStore::readText(kSection, key, QString()).toDouble(&ok);
    return ok ? std::clamp(value, lowest, highest) : fallback;
}

} // namespace

CameraSettings CameraSettings::load()
{
    CameraSettings settings;
    settings.cameraId = SettingsStore::readText(kSection, QStringLiteral("Camera"), QString());
    settings.exposureUs = readNumber(QStringLiteral("ExposureUs"), kDefaultExposureUs, kMinExposureUs, kMaxExposureUs);
    settings.gain = readNumber(QStringLiteral("Gain"), 0.0, 0.0, 1000.0);
    settings.pixelFormat = SettingsStore::readText(kSection, QStringLiteral("PixelFormat"), QString());
    settings.framesToAverage = int(readNumber(QStringLiteral("FramesToAverage"), 1, 1, kMaxFramesToAverage));
    return settings;
}

void CameraSettings::save() const
{
    SettingsStore::writeText(kSection, QStringLiteral("Camera"), cameraId);
    SettingsStore::writeText(kSection, QStringLiteral("ExposureUs"), QString::number(exposureUs));
    SettingsStore::writeText(kSection, QStringLiteral("Gain"), QString::number(gain));
    SettingsStore::writeText(kSection, QStringLiteral("PixelFormat"), pixelFormat);
    SettingsStore::writeText(kSection, QStringLiteral("FramesToAverage"), QString::number(framesToAverage));
}
