#pragma once

#include <QDialog>

class FilamentRamp;
class QProgressBar;

// The shut-down's "Set Filament Off" with ramping: a progress bar while the current goes down.
// Closing it (a second close request, a termination) drops the rest and switches off at once.
class FilamentRampDownDialog : public QDialog
{
    Q_OBJECT
public:
    FilamentRampDownDialog(FilamentRamp &ramp, QWidget *parent = nullptr);

    // Ramps down and switches off; returns when the filament is off.
    void run();
    int progressValue() const;

private:
    FilamentRamp &m_ramp;
    QProgressBar *m_progress = nullptr;
    float m_from = 0.0f;
};
