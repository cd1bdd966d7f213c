#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Sees every key before the focused control does (install it on the QApplication). Enter or
// Return typed while the main window is the active window (no modal dialog, popup or keyboard
// menu navigation in progress) marks the focused edit field's value pending, is consumed, runs
// one refresh cycle, and then selects the whole text of the edit field that has the focus by then.
// Every other key passes unchanged.
class EnterKeyFilter : public QObject
{
    Q_OBJECT
public:
    explicit EnterKeyFilter(QWidget &mainWindow, QObject *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // Enter was typed in the main window: one refresh cycle is due now.
    void refreshRequested();

private:
    bool belongsToMainWindow(QObject *watched) const;

    QPointer<QWidget> m_mainWindow;
};
