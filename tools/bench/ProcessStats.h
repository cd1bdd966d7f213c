#pragma once

#include <QtGlobal>

// CPU time and resident memory of the calling thread or of this process, as the kernel counts them.
namespace ProcessStats {

// CPU seconds the calling thread has used (CLOCK_THREAD_CPUTIME_ID).
double threadCpuSeconds();
// CPU seconds, user plus system, this process has used (all threads).
double processCpuSeconds();
// Times this process was preempted (involuntary context switches, all threads).
long involuntarySwitches();
// VmRSS of /proc/self/status in KiB; negative when unreadable.
qint64 residentKiB();
// VmHWM, the peak of VmRSS, in KiB; negative when unreadable.
qint64 peakResidentKiB();
// Starts the peak afresh from the present VmRSS (clear_refs); false when the kernel refused.
bool resetPeakResident();

} // namespace ProcessStats
