#include "remote/ControlLink.h"

#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "core/FieldLimits.h"
#include "core/UserInterface.h"
#include "device/ControlVoltage.h"
#include "device/SupplyModel.h"

namespace {

const QString kEnergyName = QStringLiteral("ENERGY");
const QString kControlVoltageItem = QStringLiteral("DA_set_voltage");

// ValOf reads "abc" or "" as 0, a valid energy that nobody asked for: a value must start with a
// number ("1.5 V" does, read as 1.5 as everywhere else).
std::optional<ControlLink::Refusal> notANumber(const QString &what, const QString &text)
{
    if (HasLeadingNumber(text))
        return std::nullopt;
    return ControlLink::Refusal{ControlLink::kErrorNotANumber,
                                QStringLiteral("%1 needs a number, not \"%2\"").arg(what, text)};
}

// Numbers in the link's answers carry a point, whatever the locale.
QString pointed(float number)
{
    return FirstCommaToPoint(StrOf(number));
}

std::optional<ControlLink::Refusal> beyondLimits(const QString &what, float value, float lower, float upper)
{
    if (value >= lower && value <= upper) // false for NaN as well
        return std::nullopt;
    return ControlLink::Refusal{ControlLink::kErrorBeyondLimits,
                                QStringLiteral("%1 is out of range: Valid range is %2 ... %3")
                                    .arg(what, pointed(lower), pointed(upper))};
}

// Trailing blanks only (not tabs): the name keeps everything else, as the grammar says.
QString withoutTrailingBlanks(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

} // namespace

ControlLink::ControlLink(SupplyModel &model, ControllerState &state, UserInterface &ui, QObject *parent)
    : QObject(parent), m_model(model), m_state(state), m_ui(ui)
{
}

void ControlLink::setLamp(Lamp lamp)
{
    m_lamp = lamp;
    emit lampChanged(lamp);
}

void ControlLink::conversationOpened()
{
    ++m_openConversations;
    if (!m_errorShowing)
        setLamp(Lamp::Open);
    emit exitEnabledChanged(false);
}

void ControlLink::conversationClosed()
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

void ControlLink::reportError(qint16 linkErr)
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

std::optional<ControlLink::Refusal> ControlLink::execute(const QString &cmdStr, CommandSource source)
{
    const qsizetype equals = cmdStr.indexOf(QLatin1Char('='));
    const QString name = withoutTrailingBlanks(equals >= 0 ? cmdStr.left(equals) : cmdStr).toUpper();
    if (name != kEnergyName)
        return std::nullopt; // not understood, still accepted
    const QString valueText = equals >= 0 ? cmdStr.mid(equals + 1) : QString();
    if (auto refusal = notANumber(kEnergyName, valueText))
        return refusal;
    const float value = ValOf(valueText);
    const auto &table = m_state.table;
    if (auto refusal = beyondLimits(kEnergyName + QLatin1Char('=') + valueText.trimmed(), value, table.ValueMin[0],
                                    table.ValueMax[0]))
        return refusal;
    const PanelField energy = PanelField::value(0);
    m_model.setFieldText(energy, StrOf(value));
    // Pending like a typed entry: the next refresh cycle sends it in its place in the order.
    m_model.markField(energy, source);
    return std::nullopt;
}

std::optional<ControlLink::Refusal> ControlLink::checkPoke(const QString &item, const QString &text) const
{
    const auto &table = m_state.table;
    if (item == kControlVoltageItem) {
        if (auto refusal = notANumber(item, text))
            return refusal;
        const float energy = ValOf(text) * ControlVoltage::kElectronVoltsPerVolt;
        return beyondLimits(QStringLiteral("%1 %2 (%3 eV)").arg(item, text.trimmed(), pointed(energy)), energy,
                            table.ValueMin[0], table.ValueMax[0]);
    }
    const PanelField field = PanelField::fromControlName(item);
    if (!field.exists())
        return std::nullopt;
    if (auto refusal = notANumber(item, text))
        return refusal;
    const FieldLimits limits = FieldLimits::of(field, table);
    return beyondLimits(item + QLatin1Char(' ') + text.trimmed(), ValOf(text), limits.lower, limits.upper);
}

void ControlLink::showSteadyLamp()
{
    // Green while a conversation is open; grey when the last one ended meanwhile, since a green
    // lamp with no conversation would tell the operator a link is open that is not.
    setLamp(m_openConversations > 0 ? Lamp::Open : Lamp::Closed);
}
