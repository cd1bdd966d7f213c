// tavrel-bench: the in-process figures of the performance report. Prints a few detail lines and
// one RESULT line per figure (see BenchReport.h); runs on the offscreen platform unless told
// otherwise. Usage: tavrel-bench [figure ...] with figures 1 2 3 4 6b 8a 8b 8c 8d 8e 9a 9b 9c 10a 10b 11 (default: all).

#include "BenchEnvironment.h"
#include "FilamentBench.h"
#include "LinkBench.h"
#include "RampBench.h"
#include "RecordsBench.h"
#include "WindowBench.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <map>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The private home comes first, so that Qt never looks at the operator's folders.
    BenchEnvironment environment;
    QApplication app(argc, argv);
    if (!environment.isValid()) {
        std::fputs("tavrel-bench: cannot create a private settings folder\n", stderr);
        return 2;
    }

    const std::map<QString, std::function<void()>> figures = {
        {QStringLiteral("1"), &LinkBench::transactionOverhead},
        {QStringLiteral("2"), &LinkBench::waitingCpu},
        {QStringLiteral("3"), &LinkBench::pacedRead},
        {QStringLiteral("4"), &WindowBench::pacedReadBack},
        {QStringLiteral("6b"), &WindowBench::loadToFirstReadBack},
        {QStringLiteral("8a"), &RampBench::backToBack},
        {QStringLiteral("8b"), &RampBench::settleOverhead},
        {QStringLiteral("8c"), &RampBench::handshakeOverhead},
        {QStringLiteral("8d"), &RampBench::waitingCpu},
        {QStringLiteral("8e"), &RampBench::monitorAge},
        {QStringLiteral("9a"), &RecordsBench::historyMemory},
        {QStringLiteral("9b"), &RecordsBench::journalLineCost},
        {QStringLiteral("9c"), &RecordsBench::refreshCpu},
        {QStringLiteral("10a"), &FilamentBench::rampGrid},
        {QStringLiteral("10b"), &FilamentBench::tripLatency},
        {QStringLiteral("11"), &WindowBench::stallDuringSilentReadBack},
    };
    QStringList chosen = QCoreApplication::arguments().mid(1);
    if (chosen.isEmpty())
        chosen = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("6b"),
                  QStringLiteral("8a"), QStringLiteral("8b"), QStringLiteral("8c"), QStringLiteral("8d"),
                  QStringLiteral("8e"), QStringLiteral("9a"), QStringLiteral("9b"), QStringLiteral("9c"), QStringLiteral("10a"), QStringLiteral("10b"),
                  QStringLiteral("11")};
    for (const QString &key : std::as_const(chosen)) {
        const auto figure = figures.find(key);
        if (figure == figures.end()) {
            std::fprintf(stderr, "tavrel-bench: no figure \"%s\" (choose from 1 2 3 4 6b 8a 8b 8c 8d 8e 9a 9b 9c 10a 10b 11)\n", qPrintable(key));
            return 2;
        }
        std::printf("Figure %s\n", qPrintable(key));
        std::fflush(stdout);
        figure->second();
    }
    return 0;
}
