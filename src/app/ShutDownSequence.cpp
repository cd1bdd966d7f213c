#include "app/ShutDownSequence.h"

#include "app/ShutDownDialog.h"
#include "core/QtUserInterface.h"
#include "core/SettingsStore.h"
#include "core/ControllerState.h"
#include "core/UserInterface.h"
#include "device/ConnectionSequence.h"
#include "device/SupplyLine.h"
#include "remote/ControlLink.h"

#include <QPointer>

ShutDownSequence::ShutDownSequence(SupplyLine &line, ControllerState &state, const ControlLink &link,
                                   const ConnectionSequence &connection, UserInterface &ui, QWidget *dialogParent)
    : m_line(line), m_state(state), m_link(link), m_connection(connection), m_ui(ui)
{
    QPointer<QWidget> parent(dialogParent);
    m_runner = [parent] { return runShutDownDialog(parent.data()); };
}

void ShutDownSequence::setDialogRunner(DialogRunner runner)
{
    m_runner = std::move(runner);
}

bool ShutDownSequence::queryUnload(int unloadMode)
{
    if (unloadMode == kUnloadFromFrame && !m_link.exitEnabled()) {
        m_ui.beep();
        m_ui.messageBox(kLinkOpenMessage, SettingsStore::applicationName(), UserInterface::Icon::Exclamation);
        return true;
    }
    if (!m_connection.isConnected())
        return false;

    if (unloadMode != kUnloadFromFrame && unloadMode != kUnloadFromProgram) {
        // Nobody is there to answer a dialog: do what the operator chose last time, at once.
        apply(ShutDownChoices::stored(), false);
        return false;
    }

    const DialogResult result = m_runner();
    if (result.cancelled)
        return true;
    apply(result.choices, true);
    return false;
}

void ShutDownSequence::apply(const ShutDownChoices &choices, bool mayRamp)
{
    emit aboutToSendCommands();
    // The filament goes off before the energy goes to zero; failures do not stop the exit.
    const CommandSourceScope scope(m_state, CommandSource::Shutdown);
    bool rampedDown = false;
    if (choices.filament && mayRamp)
        emit filamentRampDownRequested(rampedDown);
    if (choices.filament && !rampedDown)
        m_line.send(QStringLiteral("S") + m_state.table.ModuleCode[Module::kCathode] + QStringLiteral("OFF"));
    if (choices.energy)
        m_line.send(QStringLiteral("V") + m_state.table.ModuleCode[Module::kEnergy] + QStringLiteral("0"));
}

ShutDownSequence::DialogResult ShutDownSequence::runShutDownDialog(QWidget *parent)
{
    ShutDownDialog dialog(parent);
    QtUserInterface::execModal(dialog);
    DialogResult result;
    result.cancelled = dialog.tag() == ShutDownDialog::kCancelTag;
    result.choices = dialog.choices();
    return result;
}
