#pragma once

#include <QtGlobal>

// CPU time and resident memory as the kernel counts them, for the calling thread, this
// process, or another process by its id (/proc).
namespace ProcessStats {

// CPU seconds the calling thread has used (CLOCK_THREAD_CPUTIME_ID).
double threadCpuSeconds();
// CPU seconds, user plus system, this process has used (all threads).
double processCpuSeconds();
// Times this process was preempted (involuntary context switches, all threads).
long involuntarySwitches();
// utime + stime of /proc/<pid>/stat in seconds; negative when the process is gone.
double processCpuSeconds(qint64 pid);
// VmRSS of /proc/<pid>/status (0: this process) in KiB; negative when unreadable.
qint64 residentKiB(qint64 pid = 0);

} // namespace ProcessStats
