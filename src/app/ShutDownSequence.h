#pragma once

#include "app/ShutDownChoices.h"

#include <QString>

#include <functional>

class ConnectionSequence;
class ControlLink;
class ControllerState;
class SupplyLine;
class QWidget;
class UserInterface;

// The close request of the main window: refuses a frame close while a control-link conversation
// is open, and when the supply is connected asks with the shut-down dialog whether to switch
// the filament off and set the energy to zero before the program goes.
class ShutDownSequence
{
public:
    // Why the main window is being unloaded.
    enum UnloadMode : int {
        kUnloadFromFrame = 0,   // the operator closed the window through its frame
        kUnloadFromProgram = 1, // the program asked ("E&xit")
        kUnloadFromSystem = 2,  // a termination signal or the end of the session
    };

    struct DialogResult
    {
        bool cancelled = false;
        ShutDownChoices choices;
    };
    // Shows the shut-down dialog modally and returns once it is hidden.
    using DialogRunner = std::function<DialogResult()>;

    static inline const QString kLinkOpenMessage =
        QStringLiteral("This program cannot be closed while a DDE link is open.");

    // `dialogParent` is the parent of the shut-down dialog (the main window). The control link
    // tells whether a conversation is open, the connection whether the supply is connected.
    ShutDownSequence(SupplyLine &line, ControllerState &state, const ControlLink &link,
                     const ConnectionSequence &connection, UserInterface &ui, QWidget *dialogParent = nullptr);

    // Runs just before the shut-down commands go out (an energy ramp stops there).
    void setBeforeCommands(std::function<void()> hook) { m_beforeCommands = std::move(hook); }
    // Switches the filament off slowly when the operator chose it in the dialog (a termination
    // never waits for that): true when it did, false to switch off at once.
    void setFilamentRampDown(std::function<bool()> rampDown) { m_filamentRampDown = std::move(rampDown); }
    // Replaces the modal dialog (tests script it; the default shows ShutDownDialog).
    void setDialogRunner(DialogRunner runner);

    // True to cancel the unload and keep the program running.
    bool queryUnload(int unloadMode);

    // Runs ShutDownDialog modally over `parent`.
    static DialogResult runShutDownDialog(QWidget *parent);

private:
    void apply(const ShutDownChoices &choices, bool mayRamp);

    SupplyLine &m_line;
    ControllerState &m_state;
    const ControlLink &m_link;
    const ConnectionSequence &m_connection;
    UserInterface &m_ui;
    DialogRunner m_runner;
    std::function<void()> m_beforeCommands;
    std::function<bool()> m_filamentRampDown;
};
