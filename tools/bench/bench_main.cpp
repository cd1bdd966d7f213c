// tavrel-bench: the figures of the performance report, each ending in a RESULT line
// (BenchReport.h); the window runs on the offscreen platform unless told otherwise.
//   tavrel-bench [FIGURE ...]              the in-process figures (default: all of them)
//   tavrel-bench 6 PATH-TO-TAVREL [RUNS]   the start-up of the real program
//   tavrel-bench 12c PATH-TO-TAVREL [RUNS] the real program killed, to its last will seen
//   tavrel-bench endurance [--reads N] [--clients K] [--warm-up CYCLES] [--max-seconds S]

#include "Figures.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QCommandLineParser>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {
const QString kEndurance = QStringLiteral("endurance");

// The figures that start the real program as a process of its own: its path and how many runs.
struct ProgramFigure
{
    QString key;
    bool (*run)(const QString &program, int runs);
    int defaultRuns;
};
const ProgramFigure kProgramFigures[] = {
    {QStringLiteral("6"), &WindowBench::programStartUp, WindowBench::kDefaultStartUps},
    {QStringLiteral("12c"), &NetworkBench::programKill, NetworkBench::kDefaultKills},
};

int usageError(const QString &text)
{
    std::fprintf(stderr, "tavrel-bench: %s (see --help)\n", qPrintable(text));
    return 2;
}

void heading(const QString &title)
{
    std::printf("%s\n", qPrintable(title));
    std::fflush(stdout);
}

int inProcessFigures(const QStringList &chosen)
{
    const std::vector<std::pair<QString, std::function<void()>>> figures = {
        {QStringLiteral("1"), &LinkBench::transactionOverhead},
        {QStringLiteral("3"), &LinkBench::pacedRead},
        {QStringLiteral("4"), &WindowBench::pacedReadBack},
        {QStringLiteral("8a"), &RampBench::backToBack},
        {QStringLiteral("8b"), &RampBench::settleOverhead},
        {QStringLiteral("8c"), &RampBench::handshakeOverhead},
        {QStringLiteral("8e"), &RampBench::monitorAge},
        {QStringLiteral("9a"), &RecordsBench::historyMemory},
        {QStringLiteral("9c"), &RecordsBench::refreshCpu},
        {QStringLiteral("10a"), &FilamentBench::rampGrid},
        {QStringLiteral("10b"), &FilamentBench::tripLatency},
        {QStringLiteral("11"), &WindowBench::stallDuringSilentReadBack},
        {QStringLiteral("12a"), &NetworkBench::monitorChangeLatency},
        {QStringLiteral("12b"), &NetworkBench::brokerRestart},
        {QStringLiteral("12d"), &NetworkBench::rampHandshake},
        {QStringLiteral("12e"), &NetworkBench::refreshCpu},
        {QStringLiteral("12f"), &NetworkBench::concurrentReads},
        {QStringLiteral("13a"), &IvBench::wrongStepFrames},
        {QStringLiteral("13b"), &IvBench::stepOverhead},
        {QStringLiteral("13c"), &IvBench::workingMemory},
        {QStringLiteral("13d"), &IvBench::processingCpu},
        {QStringLiteral("13e"), &IvBench::integrationAccuracy},
    };
    QStringList keys;
    for (const auto &figure : figures)
        keys.append(figure.first);
    for (const QString &key : chosen) {
        if (!keys.contains(key))
            return usageError(QStringLiteral("no figure \"%1\" (choose from %2, or 6, 12c or endurance alone)")
                                  .arg(key, keys.join(QLatin1Char(' '))));
    }
    for (const auto &[key, run] : figures) {
        if (chosen.isEmpty() || chosen.contains(key)) {
            heading(QStringLiteral("Figure ") + key);
            run();
        }
    }
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The I(V) figures use the simulated camera; a search for real ones would broadcast.
    qputenv("TAVREL_NO_CAMERA_SEARCH", "1");
    // The private home comes first, so that Qt never looks at the operator's folders.
    TestEnvironment environment;
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the performance figures and prints each with its target.\n"
        "  tavrel-bench [FIGURE ...]             in-process figures, default all\n"
        "  tavrel-bench 6 PATH-TO-TAVREL [RUNS]  start-up of the real program (default 5 runs)\n"
        "  tavrel-bench 12c PATH-TO-TAVREL [RUNS]  the real program killed to its last will seen\n"
        "      (default 5 runs)\n"
        "  tavrel-bench endurance [OPTIONS]      refresh cycles back to back, unpaced, while\n"
        "      control-link clients come and go: resident memory and every message shown"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("figure"), QStringLiteral("Figures, 6, 12c or endurance."));
    const EnduranceBench::Options defaults;
    const QCommandLineOption reads(QStringLiteral("reads"), QStringLiteral("Endurance: module reads to do."),
                                   QStringLiteral("n"), QString::number(defaults.moduleReads));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Endurance: control-link clients."),
                                     QStringLiteral("k"), QString::number(defaults.clients));
    const QCommandLineOption warmUp(QStringLiteral("warm-up"), QStringLiteral("Endurance: cycles before the first memory figure."),
                                    QStringLiteral("cycles"), QString::number(defaults.warmUpCycles));
    const QCommandLineOption maxSeconds(QStringLiteral("max-seconds"), QStringLiteral("Endurance: end early after this long."),
                                        QStringLiteral("s"), QString::number(defaults.maxSeconds));
    const QList<QCommandLineOption> enduranceOptions = {reads, clients, warmUp, maxSeconds};
    parser.addOptions(enduranceOptions);
    parser.process(app);
    if (!environment.isValid()) {
        std::fputs("tavrel-bench: cannot create a private settings folder\n", stderr);
        return 2;
    }

    const QStringList arguments = parser.positionalArguments();
    const QString first = arguments.value(0);
    const bool enduranceOptionSet = std::any_of(enduranceOptions.begin(), enduranceOptions.end(),
                                                [&parser](const QCommandLineOption &option) { return parser.isSet(option); });
    if (first != kEndurance && enduranceOptionSet)
        return usageError(QStringLiteral("--reads, --clients, --warm-up and --max-seconds belong to endurance"));
    for (const ProgramFigure &figure : kProgramFigures) {
        if (first != figure.key)
            continue;
        bool ok = true;
        const int runs = arguments.size() > 2 ? arguments.at(2).toInt(&ok) : figure.defaultRuns;
        if (arguments.size() < 2 || arguments.size() > 3 || !ok || runs < 1)
            return usageError(QStringLiteral("figure %1 takes the path of tavrel and a positive number of runs")
                                  .arg(figure.key));
        heading(QStringLiteral("Figure ") + figure.key);
        return figure.run(arguments.at(1), runs) ? 0 : 1;
    }
    if (first == kEndurance) {
        EnduranceBench::Options options;
        bool ok[4] = {};
        options.moduleReads = parser.value(reads).toLongLong(&ok[0]);
        options.clients = parser.value(clients).toInt(&ok[1]);
        options.warmUpCycles = parser.value(warmUp).toInt(&ok[2]);
        options.maxSeconds = parser.value(maxSeconds).toInt(&ok[3]);
        if (arguments.size() > 1 || !ok[0] || !ok[1] || !ok[2] || !ok[3] || options.moduleReads < 1
            || options.clients < 0 || options.warmUpCycles < 0 || options.maxSeconds < 1)
            return usageError(QStringLiteral("endurance takes whole numbers: --reads and --max-seconds at least 1, "
                                             "--clients and --warm-up at least 0"));
        heading(QStringLiteral("Endurance"));
        return EnduranceBench::run(options) ? 0 : 1;
    }
    return inProcessFigures(arguments);
}
