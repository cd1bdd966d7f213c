#pragma once

#include "core/ModuleTable.h"
#include "device/SupplyModel.h"

#include <QWidget>

#include <array>

class EditField;
class IndicatorLamp;
class QColor;
class OnOffLamp;
class QLabel;
class QLineEdit;
class QPushButton;
class ScreenBar;
class SpinControl;
class UserInterface;

// The central widget of the main window: the two rows of module groups, the current monitors,
// the status column and the service table. It owns every field, spin control, lamp and label
// of the panel, shows the supply's model and writes what the operator enters into it.
class ModulePanel : public QWidget
{
    Q_OBJECT
public:
    static inline const QString kVersionDate = QStringLiteral("Jul. 26, 2000");
    static constexpr int kServicePanelTwips = 2000;

    ModulePanel(SupplyModel &model, UserInterface &ui, QWidget *parent = nullptr);

    void setSimulationShown(bool shown);
    // Uncovers the service table below the module groups, sized for `lines` of `columns`
    // characters at the user's font, at least kServicePanelTwips high.
    void showServiceTable(int lines, int columns, double logicalDpi);
    IndicatorLamp &busyLamp() const { return *m_pictureBusy; }
    IndicatorLamp &linkLamp() const { return *m_pictureDde; }
    // "Ramp 1.20 → 2.10 A" below the control voltage while a filament ramp runs; "" hides it.
    void showFilamentRamp(const QString &text);
    QString filamentRampText() const;
    // The interlock's lamp and caption, shown while the interlock is on.
    void showInterlock(bool shown, const QColor &colour, const QString &state);
    const IndicatorLamp &interlockLamp() const { return *m_pictureInterlock; }
    // The lab network's lamp and caption, shown while the network is on.
    void showNetwork(bool shown, const QColor &colour, const QString &state);
    const IndicatorLamp &networkLamp() const { return *m_pictureNetwork; }
    QString versionDate() const;
    // The field that Alt+A reaches (the anode's gain).
    EditField &anodeField() const;

    void onOn(int index);
    void onOff(int index);

    EditField *editField(PanelField field) const;

signals:
    // A spin control of a set value asks for an immediate refresh cycle.
    void sendNowRequested();

private:
    QWidget *buildModuleGroup(int module);
    QWidget *buildCurrentMonitors();
    QWidget *buildStatusColumn();
    QLabel *makeMonitor(const QString &name);
    void setTabOrder();
    void showModel();
    // Fields, spin controls, switch buttons and DA_set_voltage follow the connection state.
    void setConnected(bool connected);
    void showSwitchedOn(int module, bool on);
    void showMonitor(SupplyModel::Monitor monitor, int module, const QString &text);
    SpinControl *spinControl(PanelField field) const;

    SupplyModel &m_model;
    UserInterface &m_ui;

    std::array<EditField *, kModuleCount> m_values{};
    std::array<EditField *, kModuleCount> m_gains{};
    std::array<EditField *, kModuleCount> m_offsets{};
    std::array<SpinControl *, kModuleCount> m_valueSpins{};
    std::array<SpinControl *, kModuleCount> m_gainSpins{};
    std::array<SpinControl *, kModuleCount> m_offsetSpins{};
    std::array<QLabel *, kModuleCount> m_uMon{};
    std::array<QLabel *, kModuleCount> m_iMon{};
    std::array<OnOffLamp *, 3> m_onOff{};
    std::array<QPushButton *, 3> m_commandOn{};
    std::array<QPushButton *, 3> m_commandOff{};
    QLineEdit *m_daSetVoltage = nullptr;
    IndicatorLamp *m_pictureBusy = nullptr;
    IndicatorLamp *m_pictureDde = nullptr;
    QLabel *m_labelFilamentRamp = nullptr;
    IndicatorLamp *m_pictureInterlock = nullptr;
    QLabel *m_labelInterlock = nullptr;
    IndicatorLamp *m_pictureNetwork = nullptr;
    QLabel *m_labelNetwork = nullptr;
    QLabel *m_labelCommPort = nullptr;
    QLabel *m_labelSimulation = nullptr;
    QLabel *m_labelVersionDate = nullptr;
    ScreenBar *m_pictureScreen = nullptr;
    QLabel *m_picture1 = nullptr;
};
