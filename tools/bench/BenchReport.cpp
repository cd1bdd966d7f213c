#include "BenchReport.h"

#include <cstdio>

namespace {
void printLine(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
} // namespace

namespace BenchReport {

void detail(const QString &text)
{
    printLine(QStringLiteral("  ") + text);
}

void Figure::result(const QString &measured, bool met) const
{
    const QChar tab(u'\t');
    printLine(QStringLiteral("RESULT") + tab + key + tab + what + tab + measured + tab + target + tab
              + (met ? QStringLiteral("met") : QStringLiteral("MISSED")));
}

void Figure::failed(const QString &reason) const
{
    result(QStringLiteral("not measured: ") + reason, false);
}

QString fixed(double value, int decimals)
{
    // QString::number always writes the C locale's digits, whatever the user's locale.
    return QString::number(value, 'f', decimals);
}

} // namespace BenchReport
