#pragma once

#include "app/ShutDownChoices.h"
#include "device/LineTask.h"

#include <QObject>
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
// the filament off and set the energy to zero before the program goes. Those commands are a job
// that goes ahead of any waiting for the line; the program goes once they are out.
class ShutDownSequence : public QObject
{
    Q_OBJECT
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

    // Replaces the modal dialog (tests script it; the default shows ShutDownDialog).
    void setDialogRunner(DialogRunner runner);

    enum class Decision {
        Cancel,         // the program keeps running
        Unload,         // it may go now
        UnloadWhenSent, // it goes at commandsSent()
    };
    Decision queryUnload(int unloadMode);

    // Runs ShutDownDialog modally over `parent`.
    static DialogResult runShutDownDialog(QWidget *parent);

signals:
    // Just before the shut-down commands go out (an energy ramp stops there).
    void aboutToSendCommands();
    // The operator chose to switch the filament off in the dialog (a termination never waits for
    // this): a receiver (a direct connection) that ramps it down and switches it off sets
    // `switchedOff`; otherwise it goes off at once.
    void filamentRampDownRequested(bool &switchedOff);
    // The commands are out (or failed): the program may go.
    void commandsSent();

private:
    Decision apply(const ShutDownChoices &choices, bool mayRamp);
    LineTask<> sendCommands(bool filamentOff, bool energyZero);

    SupplyLine &m_line;
    ControllerState &m_state;
    const ControlLink &m_link;
    const ConnectionSequence &m_connection;
    UserInterface &m_ui;
    DialogRunner m_runner;
    bool m_sending = false;
};
