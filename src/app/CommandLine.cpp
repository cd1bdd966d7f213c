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

CommandLine CommandLine::parse(const QString &line)
{
    return parse(line.split(QLatin1Char(' ')));
}

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine result;
    QStringList searched = arguments;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const qsizetype at = upperSameLength(arguments.at(i)).indexOf(kProfileSwitch, 0, Qt::CaseSensitive);
        if (at < 0)
            continue;
        const qsizetype valueStart = at + kProfileSwitch.size();
        QString name = arguments.at(i).mid(valueStart);
        if (!name.contains(QLatin1Char('.')))
            name += kProfileExtension;
        result.profile = name;
        searched[i].truncate(valueStart);
        break;
    }

    const QString upper = upperSameLength(searched.join(QLatin1Char(' ')));
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
    return result;
}
