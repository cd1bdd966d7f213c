#pragma once

#include "history/MonitorHistory.h"
#include "journal/Journal.h"
#include "journal/JournalRecorder.h"
#include "camera/Camera.h"
#include "history/HistoryLink.h"
#include "iv/IvLink.h"
#include "iv/IvMeasurement.h"
#include "network/NetworkLink.h"
#include "remote/ControlLinkServer.h"

#include <QElapsedTimer>
#include <QObject>

class ConnectionSequence;
class ControllerState;
class SupplyLine;
class EnergyRamp;
class EnergyRampDialog;
class IvWindow;
class MonitorHistoryWindow;
class NetworkDialog;
class ProfileStore;
class ReadBack;
class SupplyModel;
class UserInterface;
struct MainMenu;
struct RampStep;
class QWidget;

// The tools beyond the supply's own commands: the energy ramp's dialog, the monitor history
// with its window and its part of the control link, the journal, and the lab network. Each
// observes the subsystems it is given; only the network's commands, once remote control is
// allowed, change what goes to the supply, through the control link's grammar.
class ToolSet : public QObject
{
    Q_OBJECT
public:
    static inline const QString kJournalSection = QStringLiteral("Journal");
    static inline const QString kJournalKey = QStringLiteral("Enabled");

    struct Parts
    {
        ControllerState &state;
        SupplyLine &line;
        ReadBack &readBack;
        ConnectionSequence &connection;
        ProfileStore &profiles;
        EnergyRamp &ramp;
        ControlLinkServer &server;
        SupplyModel &model;
        UserInterface &ui;
    };

    ToolSet(const Parts &parts, const MainMenu &menu, QWidget *window);

    // Turns the journal and the lab network on when the settings say so.
    void loadSettings();

    MonitorHistory &history() { return m_history; }
    Journal &journal() { return m_journal; }
    NetworkLink &network() { return m_network; }
    Camera &camera() { return m_camera; }
    IvMeasurement &iv() { return m_iv; }
    // Made when first asked for, then kept.
    MonitorHistoryWindow &historyWindow();
    EnergyRampDialog &rampDialog();
    NetworkDialog &networkDialog();
    IvWindow &ivWindow();

private:
    void observe();
    void addRampSample(const RampStep &step);
    void setJournal(bool on);

    Parts m_parts;
    const MainMenu &m_menu;
    QWidget *m_window;
    MonitorHistory m_history;
    HistoryLink m_historyLink{m_history};
    Journal m_journal;
    JournalRecorder m_recorder{m_journal};
    NetworkLink m_network;
    Camera m_camera;
    IvMeasurement m_iv;
    IvLink m_ivLink{m_iv};
    // Ramp steps come faster than the history needs: one a second of them is kept.
    static constexpr qint64 kRampSampleIntervalMs = 1000;
    QElapsedTimer m_sinceRampSample;
    MonitorHistoryWindow *m_historyWindow = nullptr;
    EnergyRampDialog *m_rampDialog = nullptr;
    NetworkDialog *m_networkDialog = nullptr;
    IvWindow *m_ivWindow = nullptr;
};
