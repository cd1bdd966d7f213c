#pragma once

#include "app/CommandLine.h"
#include "app/MainMenu.h"
#include "app/ShutDownSequence.h"
#include "app/ToolSet.h"
#include "core/ControllerState.h"
#include "device/ConnectionSequence.h"
#include "device/ControlVoltage.h"
#include "device/ReadBack.h"
#include "device/RefreshCycle.h"
#include "device/SupplyLine.h"
#include "device/SupplyModel.h"
#include "device/SimulatedSupply.h"
#include "filament/FilamentCare.h"
#include "profiles/ProfileCommands.h"
#include "profiles/ProfileStore.h"
#include "ramp/EnergyRamp.h"
#include "remote/ControlLink.h"
#include "remote/ControlLinkServer.h"
#include "ramp/RampLink.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>

class EnterKeyFilter;
class ModulePanel;
class UserInterface;

// The main window: composes the module panel, the menus and the subsystems (serial link,
// protocol, read-back, refresh cycle, connection, profiles, control link, shut-down) and wires
// them together. Behaviour and state live in the subsystems.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kTimerIntervalMs = 1000;

    MainWindow(UserInterface &ui, const CommandLine &commandLine, QWidget *parent = nullptr);
    ~MainWindow() override;
    // The load sequence: settings, placement, connection (or setup), profile, first cycle.
    void load();
    // True once the window has unloaded (settings written, port closed).
    bool isUnloaded() const { return m_unloaded; }
    // A termination signal or the session's end: no dialog, the stored shut-down choices.
    void unloadForSystem();
    // Brings the window to the front (a second start asked for it).
    void raiseWindow();
    // Replaces the modal setup dialog of openSetup (tests drive the dialog themselves).
    void setSetupDialogRunner(std::function<void()> runner) { m_setupRunner = std::move(runner); }
    void updateFileMenu();
    void toggleSimulation();
    void showAbout();
    void updateRefreshMenu();
    void refreshAll();
    void setAutoRefreshChecked(bool checked);
    void openSetup();
    void exitProgram();
    // Subsystems, for tests.
    ModulePanel &panel() const { return *m_panel; }
    SupplyModel &model() { return m_model; }
    const SupplyModel &model() const { return m_model; }
    ControllerState &state() { return m_state; }
    SimulatedSupply &simulation() { return m_sim; }
    SupplyLine &line() { return m_line; }
    ReadBack &readBack() { return m_readBack; }
    RefreshCycle &refreshCycle() { return m_cycle; }
    ConnectionSequence &connection() { return m_connection; }
    ProfileStore &profiles() { return m_profiles; }
    ControlLink &controlLink() { return m_controlLink; }
    ControlLinkServer &controlLinkServer() { return m_server; }
    ShutDownSequence &shutDown() { return m_shutDown; }
    EnergyRamp &ramp() { return m_ramp; }
    ToolSet &tools() { return m_tools; }
    FilamentCare &filament() { return m_filament; }
    QTimer &timer() { return m_timer; }
    // Alt+A is the access key of both "&Anode (V)" and "&About": the module caption wins, so
    // that the key always reaches the anode's field (About stays on the menu bar).
    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void connectMenus();
    void wireSubsystems();
    void setConnected(bool connected);
    void unload();
    // The shut-down's commands are out: the window goes.
    void finishShutDown();
    // Opens the port of the settings (the setup dialog when it does not open), then the start
    // profile and the first cycle.
    LineTask<> connectAtStart();
    QPoint windowTopLeftTwips() const;
    double logicalDpi() const;

    UserInterface &m_ui;
    CommandLine m_commandLine;
    ControllerState m_state;
    SupplyModel m_model;
    ModulePanel *m_panel; // the central widget
    SimulatedSupply m_sim;
    SupplyLine m_line;
    ReadBack m_readBack;
    RefreshCycle m_cycle;
    ConnectionSequence m_connection;
    ControlVoltage m_controlVoltage;
    ProfileStore m_profiles;
    ProfileCommands m_profileCommands;
    ControlLink m_controlLink;
    ControlLinkServer m_server;
    ShutDownSequence m_shutDown;
    EnergyRamp m_ramp;
    RampLink m_rampLink;
    QTimer m_timer;
    EnterKeyFilter *m_enterFilter = nullptr;
    MainMenu m_menu;
    ToolSet m_tools;
    FilamentCare m_filament;
    std::function<void()> m_setupRunner;
    int m_pendingUnloadMode = ShutDownSequence::kUnloadFromFrame;
    bool m_unloaded = false;
};
