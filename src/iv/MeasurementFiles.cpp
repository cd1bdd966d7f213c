#include "iv/MeasurementFiles.h"

#include "iv/TiffWriter.h"

#include <QDir>

#include <cmath>

namespace {

QString number(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 10) : QStringLiteral("NaN");
}

QString timeText(const QDateTime &time)
{
    return time.toString(Qt::ISODateWithMs);
}

// A header field: quoted when it holds a comma or a quote.
QString field(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

bool MeasurementFiles::open(const QString &folder, const QStringList &spotLabels, const QStringList &monitorNames,
                            QString &error)
{
    close();
    QDir dir(folder);
    // Never over an earlier measurement's files: its images would be replaced.
    const QDir frames(dir.filePath(kFramesFolder));
    if (dir.exists(QStringLiteral("measurement.csv"))
        || (frames.exists() && !frames.entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty())) {
        error = QStringLiteral("%1 holds a measurement already").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if (!dir.mkpath(kFramesFolder)) {
        error = QStringLiteral("%1 cannot be made").arg(QDir::toNativeSeparators(dir.filePath(kFramesFolder)));
        return false;
    }
    m_folder = dir.absolutePath();
    m_labels = spotLabels;
    const auto create = [&](QFile &file, const QString &name) {
        file.setFileName(dir.filePath(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text))
            return true;
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    };
    QStringList measurementHeader{QStringLiteral("image"),    QStringLiteral("set_energy_eV"), QStringLiteral("energy_eV"),
                                  QStringLiteral("I0_A"),     QStringLiteral("time"),          QStringLiteral("frames"),
                                  QStringLiteral("exposure_us"), QStringLiteral("gain")};
    for (const QString &name : monitorNames)
        measurementHeader.append(field(name));
    QStringList beamsHeader{QStringLiteral("energy_eV")};
    for (const QString &label : spotLabels)
        beamsHeader.append(field(label));
    // Without spots there is nothing to integrate: the images and measurement.csv only.
    const bool withSpots = !spotLabels.isEmpty();
    const bool ok =
        create(m_measurement, QStringLiteral("measurement.csv"))
        && append(m_measurement, measurementHeader.join(QLatin1Char(',')), error)
        && (!withSpots
            || (create(m_iv, QStringLiteral("iv.csv")) && create(m_beams, QStringLiteral("beams.csv"))
                && append(m_iv,
                          QStringLiteral("step,energy_eV,spot,x,y,radius,sum,background_per_pixel,pixels,I,I0_A,"
                                         "I_per_I0,saturated,found"),
                          error)
                && append(m_beams, beamsHeader.join(QLatin1Char(',')), error)));
    if (!ok)
        close();
    return ok;
}

void MeasurementFiles::close()
{
    m_measurement.close();
    m_iv.close();
    m_beams.close();
}

QString MeasurementFiles::frameFileName(int k, double energy)
{
    return QStringLiteral("%1/%2_%3eV.tif")
        .arg(kFramesFolder)
        .arg(k, 4, 10, QLatin1Char('0'))
        .arg(energy, 5, 'f', 1, QLatin1Char('0'));
}

bool MeasurementFiles::append(QFile &file, const QString &line, QString &error)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        return false;
    }
    return true;
}

bool MeasurementFiles::addStep(const IvStep &step, int width, int height, const std::vector<std::uint16_t> &pixels,
                               QString &error)
{
    if (!isOpen()) {
        error = QStringLiteral("no measurement is open");
        return false;
    }
    const QString description =
        QStringLiteral("step=%1\nset_energy_eV=%2\nenergy_eV=%3\nI0_A=%4\nexposure_us=%5\ngain=%6\nframes=%7\ntime=%8\n")
            .arg(step.k)
            .arg(number(step.setEnergy), number(step.energy), number(step.i0), number(step.exposureUs),
                 number(step.gain))
            .arg(step.frames)
            .arg(timeText(step.time));
    if (!TiffWriter::write(QDir(m_folder).filePath(step.frameFile), width, height, pixels, description, error))
        return false;

    QStringList row{step.frameFile,           number(step.setEnergy),  number(step.energy),
                    number(step.i0),          timeText(step.time),     QString::number(step.frames),
                    number(step.exposureUs),  number(step.gain)};
    row.append(step.monitors);
    if (!append(m_measurement, row.join(QLatin1Char(',')), error))
        return false;
    QStringList beams{number(step.energy)};
    QString ivRows;
    for (int i = 0; i < step.spots.size(); ++i) {
        const SpotMeasurement &spot = step.spots[i];
        // Electron currents may be read as negative: the curve is divided by the beam's size.
        const double perI0 = step.i0 != 0.0 ? spot.intensity / std::abs(step.i0) : std::nan("");
        const QString label = i < m_labels.size() ? m_labels[i] : QString::number(i + 1);
        ivRows += QStringList{QString::number(step.k),
                              number(step.energy),
                              field(label),
                              number(spot.centre.x()),
                              number(spot.centre.y()),
                              number(spot.radius),
                              number(spot.sum),
                              number(spot.backgroundPerPixel),
                              QString::number(spot.pixels),
                              number(spot.intensity),
                              number(step.i0),
                              number(perI0),
                              spot.saturated ? QStringLiteral("1") : QStringLiteral("0"),
                              spot.found ? QStringLiteral("1") : QStringLiteral("0")}
                      .join(QLatin1Char(','));
        if (i + 1 < step.spots.size())
            ivRows += QLatin1Char('\n');
        beams.append(spot.found ? number(perI0) : QStringLiteral("NaN"));
    }
    if (m_labels.isEmpty())
        return true;
    return append(m_iv, ivRows, error) && append(m_beams, beams.join(QLatin1Char(',')), error);
}
