#pragma once

#include "device/ModuleReading.h"
#include "core/ModuleTable.h"
#include "filament/FilamentRamp.h"
#include "filament/PressureInterlock.h"
#include "filament/FilamentLink.h"

#include <QObject>

class ConnectionSequence;
class ControllerState;
class SupplyLine;
class SimulatedSupply;
class ControlLinkServer;
class EnergyRamp;
class FilamentDialog;
class ModulePanel;
class SupplyModel;
class ReadBack;
class RefreshCycle;
class QAction;
class UserInterface;

// Filament care wired into the program: the ramped cathode current takes over what the refresh
// cycle would send for module 1, the interlock refuses "on" while it is not armed and switches
// the filament and the energy off when it trips, the shut-down ramps down, and the status
// column, the control link and "Tools" > "Filament..." show them. Both off by default: then
// nothing here sends anything.
class FilamentCare : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        ControllerState &state;
        SupplyLine &line;
        SimulatedSupply &sim;
        ReadBack &readBack;
        RefreshCycle &cycle;
        ConnectionSequence &connection;
        EnergyRamp &energyRamp;
        ControlLinkServer &server;
        ModulePanel &panel;
        SupplyModel &model;
        UserInterface &ui;
    };

    // `filamentItem` opens the filament dialog ("Tools" > "Filament...").
    FilamentCare(const Parts &parts, QAction *filamentItem, QWidget *window);

    // Rate, limit and stale time from the settings.
    void loadSettings();
    // The program ends: no ramp goes on, nothing more is sent from here.
    void stop();
    // The shut-down's "Set Filament Off" with a ramp rate: ramps down with its progress shown;
    // true when the supply confirmed the OFF (else the shut-down sends it itself).
    bool rampDownForShutDown();

    FilamentRamp &ramp() { return m_ramp; }
    PressureInterlock &interlock() { return m_interlock; }
    FilamentDialog &dialog();

private:
    bool cathodeRequest(std::optional<bool> switchOn, float value, CommandSource source);
    void trip(const QString &message);
    void switchOffForTrip();
    void noteConnectingPass(const std::array<ModuleReading, kModuleCount> &readings);
    void showRamp(bool running, float lastSent, float target);
    void showInterlock();

    Parts m_parts;
    QWidget *m_window;
    FilamentRamp m_ramp;
    PressureInterlock m_interlock;
    FilamentLink m_link{m_ramp, m_interlock};
    FilamentDialog *m_dialog = nullptr;
    bool m_connectingPass = false; // the next complete read-back is the one of connecting
};
