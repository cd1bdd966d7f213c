#include "history/HistoryExport.h"

#include "core/Conversions.h"
#include "history/HistoryTrace.h"
#include "history/MonitorHistory.h"

namespace {
constexpr int kSignificantDigits = 7; // what a single-precision reading carries
} // namespace

QByteArray HistoryExport::csv(const MonitorHistory &history, qint64 fromMsecs, qint64 toMsecs)
{
    QByteArray text = "time";
    for (HistoryTrace trace : kHistoryTraces)
        text += ',' + historyTraceColumn(trace).toLatin1();
    text += '\n';
    for (int i = history.firstAtOrAfter(fromMsecs); i < history.size() && history.timeAt(i) <= toMsecs; ++i) {
        const MonitorSample sample = history.sampleAt(i);
        text += IsoLocalTime(sample.msecs).toLatin1();
        for (HistoryTrace trace : kHistoryTraces)
            text += ',' + QByteArray::number(historyTraceValue(sample, trace), 'g', kSignificantDigits);
        text += '\n';
    }
    return text;
}
