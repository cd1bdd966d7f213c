#include "ProcessStats.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace {
double seconds(const timespec &t)
{
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

QByteArray procFile(qint64 pid, const char *name)
{
    const QString path = pid == 0 ? QStringLiteral("/proc/self/%1").arg(QLatin1String(name))
                                  : QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Fields of /proc/<pid>/stat after the command name, which may itself hold blanks.
constexpr int kUtimeAfterName = 11; // field 14 of the whole line
constexpr int kStimeAfterName = 12; // field 15
} // namespace

namespace ProcessStats {

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return seconds(t);
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long involuntarySwitches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nivcsw;
}

double processCpuSeconds(qint64 pid)
{
    const QByteArray stat = procFile(pid, "stat");
    const int nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0)
        return -1.0;
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    if (fields.size() <= kStimeAfterName)
        return -1.0;
    const double ticksPerSecond = double(sysconf(_SC_CLK_TCK));
    return double(fields[kUtimeAfterName].toLongLong() + fields[kStimeAfterName].toLongLong()) / ticksPerSecond;
}

qint64 residentKiB(qint64 pid)
{
    const QByteArray status = procFile(pid, "status");
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace ProcessStats
