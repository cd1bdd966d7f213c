#pragma once

#include "app/ShutDownChoices.h"

#include <QString>

#include <functional>

class QWidget;
class ShutDownHost;
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

    // `dialogParent` is the parent of the shut-down dialog (the main window).
    ShutDownSequence(ShutDownHost &host, UserInterface &ui, QWidget *dialogParent = nullptr);

    // Replaces the modal dialog (tests script it; the default shows Form_ShutDown).
    void setDialogRunner(DialogRunner runner);

    // True to cancel the unload and keep the program running.
    bool Form_QueryUnload(int unloadMode);

    // Runs Form_ShutDown modally over `parent`.
    static DialogResult runShutDownDialog(QWidget *parent);

private:
    void apply(const ShutDownChoices &choices);

    ShutDownHost &m_host;
    UserInterface &m_ui;
    DialogRunner m_runner;
};
