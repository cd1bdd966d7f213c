#include "ramp/RampLink.h"

#include "core/Conversions.h"
#include "ramp/EnergyRamp.h"

#include <QStringList>

namespace {

QString pointNumber(float number)
{
    return FirstCommaToPoint(StrOf(number));
}

} // namespace

RampLink::RampLink(EnergyRamp &ramp, const ModuleTable &limits, QObject *parent)
    : QObject(parent), m_ramp(ramp), m_limits(limits)
{
    connect(&m_ramp, &EnergyRamp::stepDone, this, &RampLink::publishStep);
    connect(&m_ramp, &EnergyRamp::finished, this, &RampLink::publishEnd);
}

QString RampLink::error(int number, const QString &text)
{
    return QStringLiteral("ERROR %1 %2").arg(number).arg(text);
}

std::optional<LinkAnswer> RampLink::handle(const void *conversation, const QString &verb, const QString &argument)
{
    if (verb == QLatin1String("RAMP")) {
        if (argument.trimmed().compare(QLatin1String("STOP"), Qt::CaseInsensitive) == 0) {
            m_ramp.stop();
            return QStringLiteral("OK");
        }
        return start(conversation, argument);
    }
    if (verb == QLatin1String("ACK")) {
        bool isNumber = false;
        const int k = argument.trimmed().toInt(&isNumber);
        if (!isNumber || conversation != m_owner || !m_ramp.acknowledge(k))
            return error(kErrorNoStepAwaits, QStringLiteral("no step awaits this acknowledgement"));
        return QStringLiteral("OK");
    }
    return std::nullopt;
}

QString RampLink::start(const void *conversation, const QString &argument)
{
    const QStringList words = argument.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 5)
        return error(kErrorMissingArgument, QStringLiteral("RAMP needs E1 E2 S T and D or ACK"));
    if (m_ramp.isRunning())
        return error(kErrorRampRunning, QStringLiteral("a ramp is running"));
    const bool handshake = words[4].compare(QLatin1String("ACK"), Qt::CaseInsensitive) == 0;
    QString why;
    const std::optional<RampPlan> plan =
        RampPlan::make(words[0], words[1], words[2], words[3], handshake ? QString() : words[4], handshake, m_limits, why);
    if (!plan)
        return error(kErrorRampRefused, why);
    m_owner = conversation;
    why = m_ramp.start(*plan);
    if (!why.isEmpty()) {
        m_owner = nullptr;
        return error(kErrorRampRefused, why);
    }
    return QStringLiteral("OK %1").arg(plan->count());
}

std::optional<QString> RampLink::itemText(const QString &item) const
{
    if (item != kItem)
        return std::nullopt;
    if (!m_ramp.isRunning())
        return QStringLiteral("idle");
    return QStringLiteral("running %1 %2").arg(m_ramp.stepsDone()).arg(m_ramp.stepCount());
}

void RampLink::conversationEnded(const void *conversation)
{
    if (conversation != m_owner)
        return;
    m_owner = nullptr;
    m_ramp.stop(); // nobody takes the steps any more
}

void RampLink::publishStep(const RampStep &step)
{
    if (m_owner)
        emit lineForConversation(m_owner, QStringLiteral("STEP %1 %2 %3 %4 %5")
                            .arg(step.k)
                            .arg(RampPlan::wireText(step.energy), pointNumber(step.umon), pointNumber(step.imon))
                            .arg(step.ms));
}

void RampLink::publishEnd(int stepsDone, bool complete)
{
    const void *owner = m_owner;
    m_owner = nullptr;
    if (owner)
        emit lineForConversation(owner, QStringLiteral("END %1 %2").arg(stepsDone).arg(complete ? QStringLiteral("complete")
                                                                              : QStringLiteral("stopped")));
}
