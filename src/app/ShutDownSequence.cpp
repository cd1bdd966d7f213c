#include "app/ShutDownSequence.h"

#include "app/Form_ShutDown.h"
#include "app/QtUserInterface.h"
#include "app/SettingsStore.h"
#include "app/ShutDownHost.h"
#include "app/UserInterface.h"

#include <QPointer>

namespace {

constexpr int kEnergyModule = 0;
constexpr int kFilamentModule = 1;

} // namespace

ShutDownSequence::ShutDownSequence(ShutDownHost &host, UserInterface &ui, QWidget *dialogParent)
    : m_host(host), m_ui(ui)
{
    QPointer<QWidget> parent(dialogParent);
    m_runner = [parent] { return runShutDownDialog(parent.data()); };
}

void ShutDownSequence::setDialogRunner(DialogRunner runner)
{
    m_runner = std::move(runner);
}

bool ShutDownSequence::Form_QueryUnload(int unloadMode)
{
    if (unloadMode == kUnloadFromFrame && !m_host.exitEnabled()) {
        m_ui.beep();
        m_ui.messageBox(kLinkOpenMessage, SettingsStore::applicationName(), UserInterface::Icon::Exclamation);
        return true;
    }
    if (!m_host.connected())
        return false;

    if (unloadMode != kUnloadFromFrame && unloadMode != kUnloadFromProgram) {
        // Nobody is there to answer a dialog: do what the operator chose last time.
        apply(ShutDownChoices::stored());
        return false;
    }

    const DialogResult result = m_runner();
    if (result.cancelled)
        return true;
    apply(result.choices);
    return false;
}

void ShutDownSequence::apply(const ShutDownChoices &choices)
{
    // The filament goes off before the energy goes to zero; failures do not stop the exit.
    if (choices.filament)
        m_host.SetParameter(QStringLiteral("S") + m_host.moduleCode(kFilamentModule) + QStringLiteral("OFF"));
    if (choices.energy)
        m_host.SetParameter(QStringLiteral("V") + m_host.moduleCode(kEnergyModule) + QStringLiteral("0"));
}

ShutDownSequence::DialogResult ShutDownSequence::runShutDownDialog(QWidget *parent)
{
    Form_ShutDown dialog(parent);
    QtUserInterface::execModal(dialog);
    DialogResult result;
    result.cancelled = dialog.tag() == Form_ShutDown::kCancelTag;
    result.choices = dialog.choices();
    return result;
}
