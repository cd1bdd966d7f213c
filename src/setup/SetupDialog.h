#pragma once

#include "setup/PortProbe.h"

#include <QDialog>

class ControllerState;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class ConnectionSequence;
class SupplyLine;
class UserInterface;

// The setup dialog: probes ports 1..8 when it is made, lists those that exist with their state
// and device path, and lets the operator choose the port and the model. Made afresh for every
// showing; the window shows it modally (openSetup).
class SetupDialog : public QDialog
{
    Q_OBJECT
public:
    // Data roles of a Combo_port entry.
    static constexpr int kNumberRole = Qt::UserRole;      // i free, -i in use
    static constexpr int kPathRole = Qt::UserRole + 1;    // configured device path
    static constexpr int kRefusedRole = Qt::UserRole + 2; // true: user may not open the device

    static inline const QString kLineSettings = QStringLiteral("9600,n,8,1");

    // `factory` makes the probe's port objects; empty means the port table's.
    SetupDialog(ControllerState &state, UserInterface &ui, SupplyLine &line, ConnectionSequence &connection,
                     QWidget *parent = nullptr, PortProbe::Factory factory = {});

    // Enables OK once an entry is chosen, by the operator or by the load.
    void onPortChosen();
    void onOk();
    void onCancel();

    // The number the entry at `row` carries (i free, -i in use).
    int entryNumber(int row) const;

    // Escape and the frame's close box come here: nothing changes.
    void reject() override;

private:
    void buildControls();
    void load();
    void addPortEntry(const PortProbe::Entry &entry);
    void showSelectedPath();
    void portIndexChanged(int index);
    QString messageTitle() const;

    ControllerState &m_state;
    UserInterface &m_ui;
    SupplyLine &m_line;
    ConnectionSequence &m_connection;
    PortProbe m_probe;

    QGroupBox *m_frame1 = nullptr;
    QComboBox *m_comboPort = nullptr;
    QLabel *m_labelDevice = nullptr;
    QLabel *m_labelSettings = nullptr;
    QGroupBox *m_frame2 = nullptr;
    QComboBox *m_comboPowerSupply = nullptr;
    QPushButton *m_commandOk = nullptr;
    QPushButton *m_commandCancel = nullptr;
};
