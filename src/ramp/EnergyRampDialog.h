#pragma once

#include "ramp/EnergyRamp.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QList>

struct ModuleTable;
class QCustomPlot;
class QLineEdit;
class QProgressBar;
class QPushButton;
class UserInterface;

// "Energy Ramp": a non-modal dialog to run a ramp from the window and follow any ramp, also one
// a client started: From, To, Step, Settle and Dwell (remembered in the settings), Start and
// Stop, the progress with the time left, a live plot of the beam current against the energy,
// and the steps saved as CSV.
class EnergyRampDialog : public QDialog
{
    Q_OBJECT
public:
    static inline const QString kSection = QStringLiteral("Ramp");
    static inline const QString kCsvHeader = QStringLiteral("step,energy_set_eV,energy_monitor_V,beam_current_A,time_ms");
    static constexpr double kMicroampsPerAmp = -1.0e6; // beam current shown positive

    EnergyRampDialog(EnergyRamp &ramp, const ModuleTable &limits, UserInterface &ui, QWidget *parent = nullptr);

    void onStart();
    void onStop();
    void onSave();
    // The steps of the last ramp as CSV lines, the header first; numbers with a point.
    QStringList csvLines() const;
    const QList<RampStep> &steps() const { return m_steps; }

private:
    void rampStarted(int steps);
    void stepDone(const RampStep &step);
    void rampFinished(int stepsDone, bool complete);
    void showProgress();
    QLineEdit *addField(const QString &key, const QString &defaultText);

    EnergyRamp &m_ramp;
    const ModuleTable &m_limits;
    UserInterface &m_ui;
    QList<QLineEdit *> m_fields; // From, To, Step, Settle, Dwell
    QPushButton *m_start = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_save = nullptr;
    QProgressBar *m_progress = nullptr;
    QCustomPlot *m_plot = nullptr;
    QList<RampStep> m_steps;
    int m_count = 0;
};
