#include "remote/ControlLink.h"

#include <cmath>

#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "core/UserInterface.h"
#include "device/PanelView.h"

namespace {

const QString kEnergyName = QStringLiteral("ENERGY");

// Trailing blanks only (not tabs): the name keeps everything else, as the grammar says.
QString withoutTrailingBlanks(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

} // namespace

ControlLink::ControlLink(PanelView &panel, ControllerState &state, UserInterface &ui, QObject *parent)
    : QObject(parent), m_panel(panel), m_state(state), m_ui(ui)
{
}

void ControlLink::setLamp(Lamp lamp)
{
    m_lamp = lamp;
    emit lampChanged(lamp);
}

void ControlLink::Form_LinkOpen()
{
    ++m_openConversations;
    if (!m_errorShowing)
        setLamp(Lamp::Open);
    emit exitEnabledChanged(false);
}

void ControlLink::Form_LinkClose()
{
    if (m_openConversations == 0)
        return; // a close without an open must not unbalance the count
    --m_openConversations;
    if (m_openConversations > 0)
        return;
    // While an error box is open the lamp stays red; the box's end sets the steady colour.
    if (!m_errorShowing)
        setLamp(Lamp::Closed);
    emit exitEnabledChanged(true);
}

void ControlLink::Form_LinkError(qint16 linkErr)
{
    if (m_errorShowing) {
        ++m_suppressedErrors;
        return;
    }
    m_errorShowing = true;
    setLamp(Lamp::Error);
    m_ui.messageBox(QStringLiteral("DDE link error:") + StrOf(float(linkErr)), m_state.caption(),
                    UserInterface::Icon::Critical);
    m_errorShowing = false;
    showSteadyLamp();
}

bool ControlLink::Form_LinkExecute(const QString &cmdStr)
{
    QString name;
    float value = 0.0f;
    const qsizetype equals = cmdStr.indexOf(QLatin1Char('='));
    if (equals >= 0) {
        name = withoutTrailingBlanks(cmdStr.left(equals)).toUpper();
        value = ValOf(cmdStr.mid(equals + 1));
    } else {
        name = withoutTrailingBlanks(cmdStr).toUpper();
    }
    // A value beyond single precision has no energy to send (it would read back as 0): ignored.
    if (name == kEnergyName && std::isfinite(value)) {
        const PanelField energy = PanelField::value(0);
        m_panel.setFieldText(energy, StrOf(value));
        // Pending like a typed entry: the next refresh cycle sends it in its place in the order.
        m_panel.markField(energy, CommandSource::Control);
    }
    return true;
}

void ControlLink::showSteadyLamp()
{
    // Green while a conversation is open; grey when the last one ended meanwhile, since a green
    // lamp with no conversation would tell the operator a link is open that is not.
    setLamp(m_openConversations > 0 ? Lamp::Open : Lamp::Closed);
}
