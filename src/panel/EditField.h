#pragma once

#include "core/PanelField.h"

#include <QLineEdit>

struct ModuleTable;
class UserInterface;

// One of the twelve edit fields. Its text is the store of the number. When the operator moves
// the focus to another control of the window, the field checks its number against the module's
// limits (read from the table at that moment), corrects an out-of-range entry to the nearer
// limit with a message, takes the focus back, and in every case marks itself "changed" (the
// dynamic property "Tag") for the refresh cycle.
class EditField : public QLineEdit
{
    Q_OBJECT
public:
    EditField(PanelField field, const ModuleTable &table, UserInterface &ui, QWidget *parent = nullptr);

    PanelField field() const { return m_field; }
    QString tag() const;
    void setTag(const QString &tag);

    // The fixed tool tip of a field, e.g. "Energy = 0 ... 1000 eV"; empty for a field that
    // does not exist.
    static QString toolTipFor(PanelField field);

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void checkRange();
    void reclaimFocus();

    PanelField m_field;
    const ModuleTable &m_table;
    UserInterface &m_ui;
    // Set while this field takes the focus back after a correction, so that the control the
    // focus is taken from does not count that as the operator leaving it.
    bool m_reclaimingFocus = false;
};
