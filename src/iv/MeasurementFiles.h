#pragma once

#include "iv/IvStep.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// The files of one I(V) measurement, written as it runs, so that a crash keeps every step done:
//   frames/0001_050.0eV.tif  each step's image (16 bit, what was measured in its description)
//   measurement.csv          image file, set energy, measured energy, I0, time, other monitors
//   iv.csv                   one row per step and spot (the long form)
//   beams.csv                energy, then I/I0 of each spot (NaN where it was not found)
class MeasurementFiles
{
public:
    static inline const QString kFramesFolder = QStringLiteral("frames");

    ~MeasurementFiles() { close(); }

    // Makes the folder (it must not hold a measurement already) and writes the headers.
    bool open(const QString &folder, const QStringList &spotLabels, const QStringList &monitorNames, QString &error);
    void close();
    bool isOpen() const { return m_measurement.isOpen(); }
    QString folder() const { return m_folder; }

    // The name of step k's image, relative to the folder.
    static QString frameFileName(int k, double energy);
    // Writes the step's image and its rows; `step.frameFile` names the image.
    bool addStep(const IvStep &step, int width, int height, const std::vector<std::uint16_t> &pixels, QString &error);

private:
    bool append(QFile &file, const QString &line, QString &error);

    QString m_folder;
    QStringList m_labels;
    QFile m_measurement;
    QFile m_iv;
    QFile m_beams;
};
