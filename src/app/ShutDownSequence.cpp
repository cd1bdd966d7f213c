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

ShutDownSequence::Decision ShutDownSequence::queryUnload(int unloadMode)
{
    if (m_sending)
        return Decision::UnloadWhenSent; // asked again while the commands are on their way
    if (unloadMode == kUnloadFromFrame && !m_link.exitEnabled()) {
        m_ui.beep();
        m_ui.messageBox(kLinkOpenMessage, SettingsStore::applicationName(), UserInterface::Icon::Exclamation);
        return Decision::Cancel;
    }
    if (!m_connection.isConnected())
        return Decision::Unload;

    if (unloadMode != kUnloadFromFrame && unloadMode != kUnloadFromProgram) {
        // Nobody is there to answer a dialog: do what the operator chose last time, at once.
        return apply(ShutDownChoices::stored(), false);
    }

    const DialogResult result = m_runner();
    if (m_sending)
        return Decision::UnloadWhenSent; // a termination came while the dialog was open
    if (result.cancelled)
        return Decision::Cancel;
    return apply(result.choices, true);
}

ShutDownSequence::Decision ShutDownSequence::apply(const ShutDownChoices &choices, bool mayRamp)
{
    emit aboutToSendCommands();
    bool rampedDown = false;
    if (choices.filament && mayRamp) {
        const CommandSourceScope scope(m_state, CommandSource::Shutdown);
        emit filamentRampDownRequested(rampedDown);
        if (m_sending)
            return Decision::UnloadWhenSent; // a termination during the ramp-down sent them
    }
    const bool filamentOff = choices.filament && !rampedDown;
    if (!filamentOff && !choices.energy)
        return Decision::Unload;
    m_sending = true;
    sendCommands(filamentOff, choices.energy);
    return Decision::UnloadWhenSent;
}

LineTask<> ShutDownSequence::sendCommands(bool filamentOff, bool energyZero)
{
    // The filament goes off before the energy goes to zero; failures do not stop the exit.
    {
        const SupplyLine::Lease lease = co_await m_line.acquire(SupplyLine::Priority::Urgent);
        if (filamentOff) {
            const QString command = QStringLiteral("S") + m_state.table.ModuleCode[Module::kCathode] + QStringLiteral("OFF");
            co_await m_line.command(command, CommandSource::Shutdown);
        }
        if (energyZero) {
            const QString command = QStringLiteral("V") + m_state.table.ModuleCode[Module::kEnergy] + QStringLiteral("0");
            co_await m_line.command(command, CommandSource::Shutdown);
        }
    }
    m_sending = false;
    emit commandsSent();
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
