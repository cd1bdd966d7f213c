#pragma once

// The figures of the monitor history and the journal: the memory of a day of history, the
// journal's cost a line, and what each adds to the CPU of auto refresh at 1 Hz.
class RecordsBench
{
public:
    static constexpr int kDaySamples = 24 * 3600;
    static constexpr double kMaxHistoryMiB = 10.0;
    static constexpr int kJournalLines = 20000;
    static constexpr int kDefaultCpuSeconds = 60;
    static constexpr double kMaxAddedCpuPercent = 0.1;

    // Figure 9a: 24 hours of samples at 1 Hz, fed as fast as they go.
    static void historyMemory();
    // Figure 9b: a read-back's journal line: on the window thread, and until on disk.
    static void journalLineCost();
    // Figure 9c: process CPU over TAVREL_BENCH_SECONDS (60) of auto refresh at 1 Hz, plain, with
    // the history window open, and with the journal on.
    static void refreshCpu();
};
