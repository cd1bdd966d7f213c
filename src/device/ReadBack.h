#pragma once

#include "core/ModuleTable.h"
#include "device/LineTask.h"
#include "device/ModuleReading.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>

class ControllerState;
class SupplyLine;
class SupplyModel;

// Reads all eight modules and then writes them into the supply's model. The reading table lives
// for the whole run; the model changes only after a complete pass. With `setValues` the pass also
// writes the set values (the control voltage echoes the energy).
class ReadBack : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPrintZoneColumns = 14;
    // The service table: a heading and one row per module, six print zones wide.
    static constexpr int kServiceTableLines = 1 + kModuleCount;
    static constexpr int kServiceTableColumns = 6 * kPrintZoneColumns;
    // The bar holds ten kilovolts; boxes beyond what fits are never drawn.
    static constexpr int kMaxScreenBars = 11;

    ReadBack(SupplyLine &line, ControllerState &state, SupplyModel &model, QObject *parent = nullptr);

    // A job of its own: waits for the line, then reads a pass.
    LineTask<qint32> readAll(bool setValues);
    // A pass inside a job that holds the line.
    LineTask<qint32> pass(bool setValues);
    using Readings = std::array<ModuleReading, kModuleCount>;
    // True while a pass runs.
    bool isReading() const { return m_passes > 0; }

    const std::array<ModuleReading, kModuleCount> &readings() const { return m_readings; }
    std::array<ModuleReading, kModuleCount> &readings() { return m_readings; }

    // "0.0 ", "0.00 ", "0 ": rounded to `decimals`, the locale's separator, one trailing space.
    static QString monitorText(double number, int decimals);
    // The boxes of the screen bar for a screen offset in V.
    static QList<QRect> screenBoxes(float screenOffset, bool on);
    static QStringList serviceTable(const std::array<ModuleReading, kModuleCount> &readings,
                                    const std::array<QString, kModuleCount> &codes);

signals:
    // Every complete pass, after the model holds it.
    void passRead(const ReadBack::Readings &readings);

private:
    void showPanel(bool setValues);

    SupplyLine &m_line;
    ControllerState &m_state;
    SupplyModel &m_model;
    int m_passes = 0; // passes running
    std::array<ModuleReading, kModuleCount> m_readings{};
};
