#pragma once

#include <QString>

// Prints what a benchmark measured: free detail lines for the reader, and one result line per
// figure in a fixed, tab-separated form that scripts/performance-report.sh collects:
//   RESULT <tab> key <tab> what <tab> measured <tab> target <tab> met|MISSED
// Figures are printed, never asserted: a missed target is a finding, not a failure.
namespace BenchReport {

void detail(const QString &text);
void result(const QString &key, const QString &what, const QString &measured, const QString &target, bool met);
// A figure that could not be measured (the reason goes into the measured column).
void failed(const QString &key, const QString &what, const QString &reason, const QString &target);

// Fixed-point text of a measured number for the report (not protocol text).
QString fixed(double value, int decimals);

} // namespace BenchReport
