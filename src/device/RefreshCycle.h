#pragma once

#include "core/CommandSource.h"
#include "core/PanelField.h"
#include "device/LineTask.h"

#include <QObject>
#include <QString>

#include <optional>

class ControllerState;
class SupplyModel;
class ReadBack;
class SimulatedSupply;
class SupplyLine;
class UserInterface;

// One refresh cycle: a job on the supply line that sends every pending field and switch request
// as one set-command each, in a fixed order, clears the marks, keeps the simulated supply in
// step, and reads the monitors back while auto refresh is on. Marks set while it runs are sent
// when the cycle has not passed their field yet. A start while a cycle runs or waits for the line
// returns. A marked field beyond its module's limits (typed after it was marked, or confirmed
// with Enter) is corrected as on leaving it, with the message, and the corrected number goes out.
class RefreshCycle : public QObject
{
    Q_OBJECT
public:
    RefreshCycle(SupplyModel &model, SupplyLine &line, ReadBack &readBack, ControllerState &state,
                 SimulatedSupply &sim, UserInterface &ui, QObject *parent = nullptr);

    void runCycle();
    // Runs one cycle that reads back whatever the auto-refresh setting (start-up, profile load),
    // unless a time-out or a lost port switches auto refresh off meanwhile.
    void runForced();

    bool isBusy() const { return m_busy; }
    // Module 1's value or switch request, about to go out: `switchOn` set for ON/OFF, unset for a
    // new value; `value` is the field's value in both cases.
    struct CathodeRequest
    {
        std::optional<bool> switchOn;
        float value = 0.0f;
        CommandSource source = CommandSource::Panel;
        bool takenOver = false;
    };

signals:
    // The cycle is about to send a marked energy: whatever else sets the energy (an energy ramp)
    // gives way first.
    void energyAboutToBeSent();
    // Asked before the cycle sends module 1's value or switch request (a direct connection): a
    // receiver that sets `takenOver` sends it its own way (a filament ramp step by step) or
    // refuses it (an interlock), and the cycle only clears the mark.
    void cathodeRequested(RefreshCycle::CathodeRequest &request);

private:
    void start(bool forced);
    LineTask<> run(bool forced);
    // False when the cycle ends here: the port was lost (the operator has been told once) or
    // the program is ending.
    LineTask<bool> send(QString command, CommandSource source);
    // The marked field's text, corrected first when beyond its limits (with the message); nothing
    // when the field is not to be sent after all (its mark withdrawn, or the program ending).
    std::optional<QString> textWithinLimits(PanelField field);
    // A marked gain or offset of a follower module out, the simulation in step.
    LineTask<bool> sendFollower(PanelField field, float energy);
    LineTask<bool> sendSwitchRequest(int module);
    bool lineLost() const;
    bool takenOver(std::optional<bool> switchOn, float value, CommandSource source);

    SupplyModel &m_model;
    SupplyLine &m_line;
    ReadBack &m_readBack;
    ControllerState &m_state;
    SimulatedSupply &m_sim;
    UserInterface &m_ui;
    bool m_busy = false;
    bool m_lineWasOpen = false; // when the cycle took the line
};
