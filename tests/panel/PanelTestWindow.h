#pragma once

#include "core/ModuleTable.h"
#include "RecordingUserInterface.h"
#include "core/PanelField.h"
#include "device/SupplyModel.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class EditField;
class SpinControl;
class QPushButton;

// A plain window with three edit fields (energy, cathode, Wehnelt gain), their spin controls and
// a button, over a real module table, the supply's model and a recording user interface.
// refreshCycle() plays the refresh cycle: every marked field is "sent" (recorded as
// "Text_Value(0)=250") and its mark cleared.
class PanelTestWindow : public QWidget
{
    Q_OBJECT
public:
    PanelTestWindow();

    // Shows the window and makes it the active window; false if the platform refused.
    bool showActive();

    void refreshCycle();

    EditField *findField(PanelField field) const;

    ModuleTable table;
    SupplyModel model{table};
    RecordingUserInterface ui;
    EditField *energy = nullptr;
    EditField *cathode = nullptr;
    EditField *wehneltGain = nullptr;
    SpinControl *energySpin = nullptr;
    SpinControl *cathodeSpin = nullptr;
    SpinControl *wehneltGainSpin = nullptr;
    QPushButton *button = nullptr;

    int cycles = 0;
    QStringList sent;
    // Runs at the start of every cycle, before the marks are read.
    std::function<void()> duringCycle;
};

// Real key and mouse input aimed at whatever has the focus.
void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
