// tavrel-startup: figure 6 of the performance report, the start-up of the real program to its
// first complete read-back. Usage: tavrel-startup PATH-TO-TAVREL [RUNS]

#include "BenchEnvironment.h"
#include "StartupProbe.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    BenchEnvironment environment;
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || !environment.isValid()) {
        std::fputs("Usage: tavrel-startup PATH-TO-TAVREL [RUNS]\n", stderr);
        return 2;
    }
    bool ok = true;
    const int runs = arguments.size() > 2 ? arguments.at(2).toInt(&ok) : StartupProbe::kDefaultRuns;
    if (!ok || runs < 1) {
        std::fputs("tavrel-startup: RUNS must be a positive whole number\n", stderr);
        return 2;
    }
    std::puts("Figure 6");
    std::fflush(stdout);
    return StartupProbe(arguments.at(1)).run(runs) ? 0 : 1;
}
