#include "iv/IvLink.h"

#include "iv/IvMeasurement.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {

QString error(int number, const QString &text)
{
    return QStringLiteral("ERROR %1 %2").arg(number).arg(text);
}

// A number as the link writes it: always with a point.
QString pointNumber(double number)
{
    QString text = QString::number(number, 'g', 10);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

} // namespace

IvLink::IvLink(IvMeasurement &measurement, QObject *parent) : QObject(parent), m_measurement(measurement)
{
    connect(&m_measurement, &IvMeasurement::stepMeasured, this, &IvLink::publishStep);
    connect(&m_measurement, &IvMeasurement::finished, this, &IvLink::publishEnd);
}

std::optional<LinkAnswer> IvLink::handle(const void *conversation, const QString &verb, const QString &argument)
{
    if (verb != QLatin1String("IV"))
        return std::nullopt;
    const QString rest = argument.trimmed();
    if (rest.compare(QLatin1String("STOP"), Qt::CaseInsensitive) == 0) {
        m_measurement.stop();
        return QStringLiteral("OK");
    }
    if (rest.section(QLatin1Char(' '), 0, 0).compare(QLatin1String("START"), Qt::CaseInsensitive) == 0)
        return start(conversation, rest.section(QLatin1Char(' '), 1).trimmed());
    return error(kErrorMissingArgument, QStringLiteral("IV needs START E1 E2 S T folder, or STOP"));
}

QString IvLink::start(const void *conversation, const QString &argument)
{
    // Four numbers, then the folder (which may hold spaces) to the end of the line.
    static const QRegularExpression form(QStringLiteral("^(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(.+)$"));
    const QRegularExpressionMatch match = form.match(argument);
    if (!match.hasMatch())
        return error(kErrorMissingArgument, QStringLiteral("IV START needs E1 E2 S T and a folder"));
    if (m_measurement.isRunning())
        return error(kErrorRunning, QStringLiteral("a measurement is running"));
    IvPlan plan;
    bool numbers = true;
    const auto number = [&](int i) {
        bool ok = false;
        const double value = match.captured(i).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        numbers = numbers && ok && std::isfinite(value);
        return value;
    };
    plan.from = number(1);
    plan.to = number(2);
    plan.step = number(3);
    const double settle = number(4);
    plan.folder = IvPlan::resolve(match.captured(5).trimmed());
    if (!numbers || settle < 0.0 || settle > double(std::numeric_limits<int>::max()))
        return error(kErrorRefused, QStringLiteral("E1, E2, S and T must be numbers"));
    plan.settleMs = int(settle);
    m_owner = conversation;
    const QString why = m_measurement.start(plan);
    if (!why.isEmpty()) {
        m_owner = nullptr;
        return error(kErrorRefused, why);
    }
    return QStringLiteral("OK %1").arg(m_measurement.stepCount());
}

std::optional<QString> IvLink::itemText(const QString &item) const
{
    if (item != kItem)
        return std::nullopt;
    if (!m_measurement.isRunning())
        return QStringLiteral("idle");
    return QStringLiteral("running %1 %2 %3")
        .arg(m_measurement.stepsDone())
        .arg(m_measurement.stepCount())
        .arg(m_measurement.folder());
}

void IvLink::conversationEnded(const void *conversation)
{
    if (conversation != m_owner)
        return;
    m_owner = nullptr;
    m_measurement.stop(); // nobody takes the steps any more
}

void IvLink::publishStep(const IvStep &step)
{
    if (m_owner)
        emit lineForConversation(m_owner, QStringLiteral("IVSTEP %1 %2 %3 %4")
                                              .arg(step.k)
                                              .arg(pointNumber(step.energy), pointNumber(step.i0), step.frameFile));
}

void IvLink::publishEnd(int stepsDone, bool complete, const QString &error)
{
    const void *owner = m_owner;
    m_owner = nullptr;
    if (!owner)
        return;
    QString line = QStringLiteral("END %1 %2").arg(stepsDone).arg(complete ? QStringLiteral("complete")
                                                                           : QStringLiteral("stopped"));
    if (!error.isEmpty())
        line += QLatin1Char(' ') + error;
    emit lineForConversation(owner, line);
}
