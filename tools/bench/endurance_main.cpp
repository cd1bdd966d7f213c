// tavrel-endurance: the endurance run of the performance report. Usage:
//   tavrel-endurance [--reads N] [--clients K] [--warm-up CYCLES] [--max-seconds S]

#include "BenchEnvironment.h"
#include "EnduranceDriver.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchEnvironment environment;
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the main window in-process against the unpaced virtual supply with refresh cycles back\n"
        "to back while control-link clients connect, advise, request, poke and disconnect; prints\n"
        "resident memory after warm-up and at the end, and every message the window showed."));
    parser.addHelpOption();
    const QCommandLineOption reads(QStringLiteral("reads"), QStringLiteral("Module reads to do (default 100000)."),
                                   QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Control-link clients (default 2)."),
                                     QStringLiteral("k"), QStringLiteral("2"));
    const QCommandLineOption warmUp(QStringLiteral("warm-up"), QStringLiteral("Cycles before the first memory figure (default 1000)."),
                                    QStringLiteral("cycles"), QStringLiteral("1000"));
    const QCommandLineOption maxSeconds(QStringLiteral("max-seconds"), QStringLiteral("End early after this long (default 1800)."),
                                        QStringLiteral("s"), QStringLiteral("1800"));
    parser.addOptions({reads, clients, warmUp, maxSeconds});
    parser.process(app);

    EnduranceDriver::Options options;
    bool ok[4] = {};
    options.moduleReads = parser.value(reads).toLongLong(&ok[0]);
    options.clients = parser.value(clients).toInt(&ok[1]);
    options.warmUpCycles = parser.value(warmUp).toInt(&ok[2]);
    options.maxSeconds = parser.value(maxSeconds).toInt(&ok[3]);
    if (!environment.isValid() || !ok[0] || !ok[1] || !ok[2] || !ok[3] || options.moduleReads < 1
        || options.clients < 0 || options.warmUpCycles < 0 || options.maxSeconds < 1) {
        std::fputs("tavrel-endurance: the options need positive whole numbers (see --help)\n", stderr);
        return 2;
    }
    std::puts("Endurance");
    std::fflush(stdout);
    return EnduranceDriver(options).run() ? 0 : 1;
}
