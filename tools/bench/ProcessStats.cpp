#include "ProcessStats.h"

#include <QByteArray>
#include <QFile>

#include <ctime>
#include <sys/resource.h>

namespace {
double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

rusage selfUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
}

qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
} // namespace

namespace ProcessStats {

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    const rusage usage = selfUsage();
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long involuntarySwitches()
{
    return selfUsage().ru_nivcsw;
}

qint64 residentKiB()
{
    return statusKiB(QByteArrayLiteral("VmRSS:"));
}

qint64 peakResidentKiB()
{
    return statusKiB(QByteArrayLiteral("VmHWM:"));
}

bool resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace ProcessStats
