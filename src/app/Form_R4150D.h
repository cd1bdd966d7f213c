#pragma once

#include "app/CommandLine.h"
#include "app/ConnectionSequence.h"
#include "app/ConnectionView.h"
#include "app/ControllerState.h"
#include "app/ShutDownHost.h"
#include "app/ShutDownSequence.h"
#include "device/DeviceProtocol.h"
#include "device/PanelAccess.h"
#include "device/ReadBack.h"
#include "device/ReadBackView.h"
#include "device/RefreshCycle.h"
#include "device/SerialLink.h"
#include "device/SimulatedState.h"
#include "panel/ControlVoltage.h"
#include "profiles/ProfileCommands.h"
#include "profiles/ProfileStore.h"
#include "remote/ControlLink.h"
#include "remote/ControlLinkHost.h"
#include "remote/ControlLinkServer.h"
#include "setup/SetupHost.h"

#include <QMainWindow>
#include <QTimer>

#include <array>

class EditField;
class EnterKeyFilter;
class IndicatorLamp;
class OnOffLamp;
class QAction;
class QGridLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class ScreenBar;
class SpinControl;
class UserInterface;

// The main window: composes the module groups, the status column, the menus and the
// subsystems (serial link, protocol, read-back, refresh cycle, profiles, control link,
// shut-down), and wires them together. Behaviour lives in the subsystems.
class Form_R4150D : public QMainWindow,
                    public PanelAccess,
                    public ReadBackView,
                    public ConnectionView,
                    public ControlLinkHost,
                    public SetupHost,
                    public ShutDownHost
{
    Q_OBJECT
public:
    static inline const QString kVersionDate = QStringLiteral("Jul. 26, 2000");
    static constexpr int kTimerIntervalMs = 1000;
    static constexpr int kServicePanelTwips = 2000;

    Form_R4150D(UserInterface &ui, const CommandLine &commandLine, QWidget *parent = nullptr);
    ~Form_R4150D() override;

    // The load sequence: settings, placement, showing, module table, connection, setup dialog
    // when no port opened, start-up profile and the first refresh cycle.
    void Form_Load();
    // True once the window has unloaded (settings written, port closed).
    bool isUnloaded() const { return m_unloaded; }
    // Ends the program for a termination signal or the end of the session: not refused by a
    // link, no dialog, the stored shut-down choices applied when connected.
    void unloadForSystem();
    // Brings the window to the front (a second start asked for it).
    void raiseWindow();
    // Replaces the modal setup dialog of mnuSetup_Click (tests drive the dialog themselves).
    void setSetupDialogRunner(std::function<void()> runner) { m_setupRunner = std::move(runner); }

    // Menu commands.
    void mnuFile_Click();
    void mnuSimulation_Click();
    void mnuAbout_Click();
    void mnuRefresh_Click();
    void mnuRefreshAll_Click();
    void mnuAutoRefresh_Click(bool checked);
    void mnuSetup_Click();
    void mnuExit_Click();
    void Command_On_Click(int index);
    void Command_Off_Click(int index);

    // Subsystems, for the wiring and for tests.
    ControllerState &state() { return m_state; }
    SimulatedState &simulation() { return m_sim; }
    SerialLink &link() { return m_link; }
    DeviceProtocol &protocol() { return m_protocol; }
    ReadBack &readBack() { return m_readBack; }
    RefreshCycle &refreshCycle() { return m_cycle; }
    ProfileStore &profiles() { return m_profiles; }
    ProfileCommands &profileCommands() { return m_profileCommands; }
    ControlLink &controlLink() { return m_controlLink; }
    ControlLinkServer &controlLinkServer() { return m_server; }
    ShutDownSequence &shutDown() { return m_shutDown; }
    QTimer &timer() { return m_timer; }

    // PanelAccess
    QString fieldText(PanelField field) const override;
    void setFieldText(PanelField field, const QString &text) override;
    QString fieldTag(PanelField field) const override;
    void setFieldTag(PanelField field, const QString &tag) override;
    bool fieldEnabled(PanelField field) const override;
    QString switchTag(int module) const override;
    void setSwitchTag(int module, const QString &tag) override;

    // ReadBackView
    void setControlVoltage(const QString &text, bool echo) override;
    void setMonitorText(Monitor monitor, int module, const QString &text) override;
    void setSwitchDisplay(int module, bool on) override;
    void clearScreenBar() override;
    void drawScreenBox(const QRect &corners) override;
    void printServiceTable(const QStringList &lines) override;

    // ConnectionView
    void setPanelConnected(bool connected) override;
    void setAutoRefreshCheck(bool checked) override;

    // ControlLinkHost
    void setLinkLamp(ControlLinkHost::Lamp lamp) override;
    void setExitEnabled(bool enabled) override;
    QString caption() const override;
    std::optional<QString> itemText(const QString &item) const override;
    bool isPokeable(const QString &item) const override;
    void pokeItem(const QString &item, const QString &text) override;

    // SetupHost
    qint32 R4150DClose() override;
    qint32 Init() override;

    // ShutDownHost
    bool exitEnabled() const override;
    bool connected() const override;
    qint32 SetParameter(const QString &transmit) override;
    QString moduleCode(int index) const override;

    // Alt+A is the access key of both "&Anode (V)" and "&About": the module caption wins, so
    // that the key always reaches the anode's field (About stays on the menu bar).
    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildPanel();
    void buildMenus();
    QWidget *buildModuleGroup(int module);
    QWidget *buildCurrentMonitors();
    QWidget *buildStatusColumn();
    void setTabOrder();
    QLabel *makeMonitor(const QString &name);
    void setLabelText(QLabel *label, const QString &text);
    void showLinkLamp(SerialLink::Lamp lamp);
    void Form_Unload();
    void yieldToEvents();
    EditField *editField(PanelField field) const;
    SpinControl *spinControl(PanelField field) const;
    QPoint windowTopLeftTwips() const;
    QSize servicePanelSize() const;

    UserInterface &m_ui;
    CommandLine m_commandLine;
    ControllerState m_state;
    SimulatedState m_sim;
    SerialLink m_link;
    DeviceProtocol m_protocol;
    ReadBack m_readBack;
    RefreshCycle m_cycle;
    ConnectionSequence m_connection;
    ControlVoltage m_controlVoltage;
    ProfileStore m_profiles;
    ProfileCommands m_profileCommands;
    ControlLink m_controlLink;
    ControlLinkServer m_server;
    ShutDownSequence m_shutDown;
    QTimer m_timer;
    EnterKeyFilter *m_enterFilter = nullptr;

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
    QLabel *m_labelCommPort = nullptr;
    QLabel *m_labelSimulation = nullptr;
    QLabel *m_labelVersionDate = nullptr;
    ScreenBar *m_pictureScreen = nullptr;
    QLabel *m_picture1 = nullptr;

    QMenu *m_mnuFile = nullptr;
    QMenu *m_mnuRefresh = nullptr;
    QAction *m_mnuOpen = nullptr;
    QAction *m_mnuSave = nullptr;
    QAction *m_mnuSaveAs = nullptr;
    QAction *m_mnuSetup = nullptr;
    QAction *m_mnuSimulation = nullptr;
    QAction *m_mnuExit = nullptr;
    QAction *m_mnuRefreshAll = nullptr;
    QAction *m_mnuAutoRefresh = nullptr;
    QAction *m_mnuAbout = nullptr;

    std::function<void()> m_setupRunner;
    int m_pendingUnloadMode = ShutDownSequence::kUnloadFromFrame;
    bool m_unloaded = false;
};
