#pragma once

#include <QLabel>

struct ModuleTable;
class UserInterface;
class EditField;

// The spin control beside an edit field: a 12 x 24 picture with a plus button above a minus
// button. A left press on a half steps the field's number by the module's step within its
// limits and marks the field; a set-value spin control also runs one refresh cycle at once.
// objectName: Picture_value(i), Picture_gain(i) or Picture_offset(i) after its field.
class SpinControl : public QLabel
{
    Q_OBJECT
public:
    SpinControl(EditField &field, const ModuleTable &table, UserInterface &ui, QWidget *parent = nullptr);

    EditField &field() const { return m_field; }
    bool runsRefreshCycle() const;

    // Connected (or module on): enabled with the rest image; otherwise disabled with the
    // disabled image. A disabled control receives no mouse input.
    void setConnectedImage(bool enabled);

signals:
    // A set-value spin control stepped its field: one refresh cycle sends it at once.
    void sendNowRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool onUpperHalf(float y) const;

    EditField &m_field;
    const ModuleTable &m_table;
    UserInterface &m_ui;
};
