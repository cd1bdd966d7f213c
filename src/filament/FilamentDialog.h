#pragma once

#include <QDialog>
#include <QTimer>

class FilamentRamp;
class PressureInterlock;
class QLabel;
class QLineEdit;
class QPushButton;

// "Filament": a non-modal dialog with the ramp rate, the pressure limit and the stale time
// (stored in the settings by "Apply"), the present pressure, the interlock's state, and
// "Re-arm", enabled only while tripped with a fresh pressure below the limit.
class FilamentDialog : public QDialog
{
    Q_OBJECT
public:
    FilamentDialog(FilamentRamp &ramp, PressureInterlock &interlock, QWidget *parent = nullptr);

    void onApply();
    void onRearm();
    QLineEdit &rateField() const { return *m_rate; }
    QLineEdit &limitField() const { return *m_limit; }
    QLineEdit &staleField() const { return *m_stale; }
    QPushButton &rearmButton() const { return *m_rearm; }
    QString stateText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showState();

    FilamentRamp &m_ramp;
    PressureInterlock &m_interlock;
    QLineEdit *m_rate = nullptr;
    QLineEdit *m_limit = nullptr;
    QLineEdit *m_stale = nullptr;
    QLabel *m_pressure = nullptr;
    QLabel *m_state = nullptr;
    QPushButton *m_rearm = nullptr;
    QTimer m_refresh; // freshness changes with time alone
};
