#pragma once

#include "history/MonitorHistory.h"
#include "journal/Journal.h"
#include "journal/JournalRecorder.h"
#include "history/HistoryLink.h"

#include <QObject>

class ConnectionSequence;
class ControllerState;
class ControlLinkServer;
class SupplyLine;
class EnergyRamp;
class EnergyRampDialog;
class MonitorHistoryWindow;
class ProfileStore;
class ReadBack;
class UserInterface;
struct MainMenu;
struct RampStep;
class QWidget;

// The tools beyond the supply's own commands: the energy ramp's dialog, the monitor history
// with its window and its part of the control link, and the journal. Each observes the
// subsystems it is given; none of them changes what goes to the supply.
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
        UserInterface &ui;
    };

    ToolSet(const Parts &parts, const MainMenu &menu, QWidget *window);

    // Turns the journal on when the settings say so.
    void loadSettings();

    MonitorHistory &history() { return m_history; }
    Journal &journal() { return m_journal; }
    // Made when first asked for, then kept.
    MonitorHistoryWindow &historyWindow();
    EnergyRampDialog &rampDialog();

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
    MonitorHistoryWindow *m_historyWindow = nullptr;
    EnergyRampDialog *m_rampDialog = nullptr;
};
