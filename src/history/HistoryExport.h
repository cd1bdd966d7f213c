#pragma once

#include <QByteArray>

class MonitorHistory;

// The history as a table for other programs.
class HistoryExport
{
public:
    // CSV of the samples from `fromMsecs` to `toMsecs`: a header, then one row a sample with the
    // time (ISO 8601, milliseconds, offset) and each trace in its unit, with a point.
    static QByteArray csv(const MonitorHistory &history, qint64 fromMsecs, qint64 toMsecs);
};
