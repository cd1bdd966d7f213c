#include "remote/ControlLink.h"

#include <cmath>

#include "app/Conversions.h"
#include "app/UserInterface.h"
#include "device/PanelAccess.h"
#include "remote/ControlLinkHost.h"

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

ControlLink::ControlLink(ControlLinkHost &host, PanelAccess &panel, UserInterface &ui)
    : m_host(host), m_panel(panel), m_ui(ui)
{
}

void ControlLink::Form_LinkOpen()
{
    ++m_openConversations;
    if (!m_errorShowing)
        m_host.setLinkLamp(ControlLinkHost::Lamp::Open);
    m_host.setExitEnabled(false);
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
        m_host.setLinkLamp(ControlLinkHost::Lamp::Closed);
    m_host.setExitEnabled(true);
}

void ControlLink::Form_LinkError(qint16 linkErr)
{
    if (m_errorShowing) {
        ++m_suppressedErrors;
        return;
    }
    m_errorShowing = true;
    m_host.setLinkLamp(ControlLinkHost::Lamp::Error);
    m_ui.messageBox(QStringLiteral("DDE link error:") + StrOf(float(linkErr)), m_host.caption(),
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
        m_panel.setFieldTag(energy, kTagChanged);
    }
    return true;
}

void ControlLink::showSteadyLamp()
{
    // Green while a conversation is open; grey when the last one ended meanwhile, since a green
    // lamp with no conversation would tell the operator a link is open that is not.
    m_host.setLinkLamp(m_openConversations > 0 ? ControlLinkHost::Lamp::Open : ControlLinkHost::Lamp::Closed);
}
