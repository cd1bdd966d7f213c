#pragma once

#include "core/PanelField.h"

#include <QLineEdit>

class SupplyModel;
class UserInterface;

// One of the twelve edit fields, a view of one set value of the supply's model: it shows the
// model's text and writes what the operator types. When the operator moves the focus to another
// control of the window, the field checks its number against the module's limits (read at that
// moment), corrects an out-of-range entry to the nearer limit with a message, takes the focus
// back, and in every case marks the value pending for the refresh cycle.
class EditField : public QLineEdit
{
    Q_OBJECT
public:
    EditField(PanelField field, SupplyModel &model, UserInterface &ui, QWidget *parent = nullptr);

    PanelField field() const { return m_field; }
    // The value is pending, marked by the operator (Enter, a spin, leaving the field).
    bool isMarked() const;
    void mark();

    // The fixed tool tip of a field, e.g. "Energy = 0 ... 1000 eV"; empty for a field that
    // does not exist.
    static QString toolTipFor(PanelField field);

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void checkRange();
    void reclaimFocus();

    PanelField m_field;
    SupplyModel &m_model;
    UserInterface &m_ui;
    // Set while this field takes the focus back after a correction, so that the control the
    // focus is taken from does not count that as the operator leaving it.
    bool m_reclaimingFocus = false;
};
