#include "app/CommandLine.h"

namespace {

const QString kSimulationSwitch = QStringLiteral("/SIMULATION ");
const QString kServiceSwitch = QStringLiteral("/SERVICE ");
const QString kR4150Switch = QStringLiteral("/R4150");
const QString kTavrelSwitch = QStringLiteral("/TAVREL");
const QString kPortSwitch = QStringLiteral("/COM");
const QString kProfileSwitch = QStringLiteral("/ZQV=");
const QString kProfileExtension = QStringLiteral(".zqv");
constexpr qint16 kModelR4150 = 0;
constexpr qint16 kModelTavrel = 1;
constexpr qint16 kHighestSwitchPort = 4;

bool occurs(const QString &upper, const QString &needle)
{
    return upper.contains(needle, Qt::CaseSensitive);
}

} // namespace

QString CommandLine::upperSameLength(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper)
        c = c.toUpper();
    return upper;
}

QString CommandLine::join(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

CommandLine CommandLine::parse(const QString &text)
{
    CommandLine result;
    const QString upper = upperSameLength(text);
    // The appended blank lets "/SIMULATION " match at the very end but not before a letter.
    const QString upperWithBlank = upper + QLatin1Char(' ');
    result.simulation = occurs(upperWithBlank, kSimulationSwitch);
    result.service = occurs(upperWithBlank, kServiceSwitch);

    if (occurs(upper, kR4150Switch))
        result.powerSupply = kModelR4150;
    if (occurs(upper, kTavrelSwitch))
        result.powerSupply = kModelTavrel;

    if (occurs(upper, kPortSwitch)) {
        result.commPort = 0;
        for (qint16 port = 1; port <= kHighestSwitchPort; ++port) {
            if (occurs(upper, kPortSwitch + QChar(u'0' + port))) {
                result.commPort = port;
                break;
            }
        }
    }

    const qsizetype at = upper.indexOf(kProfileSwitch, 0, Qt::CaseSensitive);
    if (at >= 0) {
        QString name = text.mid(at + kProfileSwitch.size());
        const qsizetype blank = name.indexOf(QLatin1Char(' '));
        if (blank >= 0)
            name.truncate(blank);
        if (!name.contains(QLatin1Char('.')))
            name += kProfileExtension;
        result.profile = name;
    }
    return result;
}
