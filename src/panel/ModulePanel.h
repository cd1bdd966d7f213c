#pragma once

#include "core/ModuleTable.h"
#include "device/PanelView.h"
#include "remote/ControlItems.h"

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
// of the panel and is the panel as the device layer and the control link see it.
class ModulePanel : public QWidget, public PanelView, public ControlItems
{
    Q_OBJECT
public:
    static inline const QString kVersionDate = QStringLiteral("Jul. 26, 2000");
    static constexpr int kServicePanelTwips = 2000;

    ModulePanel(const ModuleTable &table, UserInterface &ui, QWidget *parent = nullptr);

    // Fields, spin controls, switch buttons and DA_set_voltage follow the connection state.
    void setConnected(bool connected);
    void setSimulationShown(bool shown);
    // Uncovers the service table below the module groups, sized for `lines` of `columns`
    // characters at the user's font, at least kServicePanelTwips high.
    void showServiceTable(int lines, int columns, double logicalDpi);
    void showPortCaption(const QString &caption);
    IndicatorLamp &busyLamp() const { return *m_pictureBusy; }
    IndicatorLamp &linkLamp() const { return *m_pictureDde; }
    // "Ramp 1.20 → 2.10 A" below the control voltage while a filament ramp runs; "" hides it.
    void showFilamentRamp(const QString &text);
    QString filamentRampText() const;
    // The interlock's lamp and caption, shown while the interlock is on.
    void showInterlock(bool shown, const QColor &colour, const QString &state);
    const IndicatorLamp &interlockLamp() const { return *m_pictureInterlock; }
    QString versionDate() const;
    // The field that Alt+A reaches (the anode's gain).
    EditField &anodeField() const;

    void onOn(int index);
    void onOff(int index);

    // PanelView
    QString fieldText(PanelField field) const override;
    void setFieldText(PanelField field, const QString &text) override;
    QString fieldTag(PanelField field) const override;
    void setFieldTag(PanelField field, const QString &tag) override;
    bool fieldEnabled(PanelField field) const override;
    QString switchTag(int module) const override;
    void setSwitchTag(int module, const QString &tag) override;
    void markField(PanelField field, CommandSource source) override;
    void markSwitch(int module, const QString &request, CommandSource source) override;
    CommandSource fieldMarkSource(PanelField field) const override;
    CommandSource switchMarkSource(int module) const override;
    void setControlVoltage(const QString &text, bool echo) override;
    void setMonitorText(Monitor monitor, int module, const QString &text) override;
    void setSwitchDisplay(int module, bool on) override;
    void setScreenBar(const QList<QRect> &boxes) override;
    void printServiceTable(const QStringList &lines) override;

    // ControlItems
    std::optional<QString> itemText(const QString &item) const override;
    bool isPokeable(const QString &item) const override;
    void pokeItem(const QString &item, const QString &text) override;

signals:
    // An item's text changed (an edit field, DA_set_voltage or a monitor label).
    void itemTextChanged(const QString &item, const QString &text);
    // The operator changed DA_set_voltage, or a read-back that echoes its energy wrote it.
    void controlVoltageChanged(const QString &text);
    // A spin control of a set value asks for an immediate refresh cycle.
    void sendNowRequested();

private:
    QWidget *buildModuleGroup(int module);
    QWidget *buildCurrentMonitors();
    QWidget *buildStatusColumn();
    QLabel *makeMonitor(const QString &name);
    void setTabOrder();
    void setLabelText(QLabel *label, const QString &text);
    EditField *editField(PanelField field) const;
    SpinControl *spinControl(PanelField field) const;

    const ModuleTable &m_table;
    UserInterface &m_ui;
    bool m_controlVoltageQuiet = false;

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
    QLabel *m_labelCommPort = nullptr;
    QLabel *m_labelSimulation = nullptr;
    QLabel *m_labelVersionDate = nullptr;
    ScreenBar *m_pictureScreen = nullptr;
    QLabel *m_picture1 = nullptr;
};
