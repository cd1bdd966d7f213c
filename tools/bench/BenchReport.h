#pragma once

#include <QString>

// Prints what a benchmark measured: free detail lines for the reader, and one result line per
// figure in a fixed, tab-separated form that scripts/performance-report.sh collects:
//   RESULT <tab> key <tab> what <tab> measured <tab> target <tab> met|MISSED
// Figures are printed, never asserted: a missed target is a finding, not a failure.
namespace BenchReport {

void detail(const QString &text);

// One figure of the report: its key, what it measures and its target.
struct Figure
{
    QString key;
    QString what;
    QString target;

    void result(const QString &measured, bool met) const;
    // The figure could not be measured (the reason goes into the measured column).
    void failed(const QString &reason) const;
};

// Fixed-point text of a measured number for the report (not protocol text).
QString fixed(double value, int decimals);

} // namespace BenchReport
