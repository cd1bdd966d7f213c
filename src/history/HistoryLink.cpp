#include "history/HistoryLink.h"

#include "core/Conversions.h"
#include "core/ModuleTable.h"
#include "history/MonitorHistory.h"

#include <QDateTime>

#include <cmath>
#include <memory>
#include <vector>

namespace {
constexpr double kMsecsPerSecond = 1000.0;

struct Row
{
    qint64 msecs;
    std::array<float, 5> values;
};

QString sampleLine(const Row &row)
{
    QString line = QStringLiteral("SAMPLE ") + IsoLocalTime(row.msecs);
    for (float value : row.values)
        line += QLatin1Char(' ') + ShortestText(value);
    return line;
}
} // namespace

HistoryLink::HistoryLink(const MonitorHistory &history) : m_history(history) {}

std::optional<LinkAnswer> HistoryLink::handle(const void *, const QString &verb, const QString &argument)
{
    if (verb != QLatin1String("HISTORY"))
        return std::nullopt;
    const QString text = argument.trimmed();
    if (text.isEmpty())
        return QStringLiteral("ERROR %1 HISTORY needs a number of seconds").arg(int(kErrorMissingArgument));
    bool isNumber = false;
    const double seconds = text.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(seconds) || seconds < 0.0)
        return QStringLiteral("ERROR %1 not a number of seconds: %2").arg(int(kErrorBadSeconds)).arg(text);

    // Taken now: the ring moves on while a long answer goes out.
    const qint64 from = QDateTime::currentMSecsSinceEpoch() - qint64(std::min(seconds * kMsecsPerSecond, 1e15));
    auto rows = std::make_shared<std::vector<Row>>();
    rows->reserve(std::size_t(m_history.size() - m_history.firstAtOrAfter(from)));
    for (int i = m_history.firstAtOrAfter(from); i < m_history.size(); ++i) {
        const MonitorSample sample = m_history.sampleAt(i);
        using namespace Module;
        rows->push_back({sample.msecs,
                         {sample.modules[kEnergy].umon, sample.modules[kEnergy].imon, sample.modules[kCathode].imon,
                          sample.modules[kAnode].imon, sample.modules[kScreen].offset}});
    }
    const QString total = QStringLiteral("OK %1").arg(rows->size());
    if (rows->empty())
        return total;
    auto next = std::make_shared<std::size_t>(1);
    return LinkAnswer(sampleLine(rows->front()), [rows, next, total]() -> std::optional<QString> {
        if (*next < rows->size())
            return sampleLine((*rows)[(*next)++]);
        if (*next == rows->size()) {
            ++*next;
            return total;
        }
        return std::nullopt;
    });
}
