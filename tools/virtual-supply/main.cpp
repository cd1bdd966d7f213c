// tavrel-virtual-supply: plays the supply on a pseudo-terminal for demonstration, tests and
// benchmarks. Prints the terminal's path, then serves it until SIGINT, SIGTERM or SIGHUP.

#include "VirtualSupply.h"

#include "core/Conversions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

bool installSignalHandlers()
{
    if (pipe2(g_signalPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // A reader of our output that goes away must not kill us before the link is removed.
    std::signal(SIGPIPE, SIG_IGN);
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0
        && sigaction(SIGHUP, &action, nullptr) == 0;
}

// Waits for a signal; true when one came, false after `timeoutMs` (-1: wait for ever).
bool waitForSignal(int timeoutMs)
{
    pollfd fd{g_signalPipe[0], POLLIN, 0};
    return poll(&fd, 1, timeoutMs) > 0;
}

void printLine(const QString &text, FILE *stream)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// A whole non-negative count, or -1 when the text is not one.
int countOption(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? value : -1;
}

constexpr int kHangupPollMs = 100;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrel-virtual-supply"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the Tavrel supply on a pseudo-terminal: echoes every command, answers the read\n"
        "command from a small model of the supply, and can misbehave on purpose for tests.\n"
        "Prints the terminal's device path on standard output, then serves it until SIGINT,\n"
        "SIGTERM or SIGHUP.\n"
        "\n"
        "Example:\n"
        "  tavrel-virtual-supply --link /tmp/tavrel-com1\n"
        "then map COM1 to /tmp/tavrel-com1 (settings section [Ports], COM1=/tmp/tavrel-com1)\n"
        "and start tavrel with /COM1."));
    parser.addHelpOption();

    const QCommandLineOption link(QStringLiteral("link"),
        QStringLiteral("Place a symbolic link at <path> pointing to the terminal (an old link there is "
                       "replaced; it is removed at exit)."), QStringLiteral("path"));
    const QCommandLineOption model(QStringLiteral("model"),
        QStringLiteral("Supply model: r4150 (module 1 is CA, the default) or tavrel (module 1 is FI)."),
        QStringLiteral("model"), QStringLiteral("r4150"));
    const QCommandLineOption prompt(QStringLiteral("prompt"), QStringLiteral("Send \">\" before every echo."));
    const QCommandLineOption baud(QStringLiteral("baud"),
        QStringLiteral("Pace the line like <rate> baud, 10 bits a character, both ways (9600: about "
                       "1.04 ms a character). Default: as fast as possible."), QStringLiteral("rate"));
    const QCommandLineOption errors(QStringLiteral("errors"),
        QStringLiteral("Answer a command the supply does not know with an \"ERR\" line after its echo."));
    const QCommandLineOption noise(QStringLiteral("noise"),
        QStringLiteral("Relative noise on the monitored voltages, e.g. 0.001. Default 0."),
        QStringLiteral("fraction"));
    const QCommandLineOption seed(QStringLiteral("seed"),
        QStringLiteral("Seed of the random garbage and noise."), QStringLiteral("number"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Fault: read everything, answer nothing."));
    const QCommandLineOption noEcho(QStringLiteral("no-echo"),
        QStringLiteral("Fault: send the data lines of reads but no echoes."));
    const QCommandLineOption extraLines(QStringLiteral("extra-lines"),
        QStringLiteral("Fault: send <n> junk lines (\"READY\") before every echo."), QStringLiteral("n"));
    const QCommandLineOption garbage(QStringLiteral("garbage"),
        QStringLiteral("Fault: random bytes (0x00-0x1F except CR, 0x80-0xFF) right before every echo."));
    const QCommandLineOption runaway(QStringLiteral("runaway"),
        QStringLiteral("Fault: after the next command's echo, send characters without ever sending CR."));
    const QCommandLineOption silentAfter(QStringLiteral("silent-after"),
        QStringLiteral("Fault: fall silent once <n> lines have been sent."), QStringLiteral("n"));
    const QCommandLineOption hangupAfter(QStringLiteral("hangup-after"),
        QStringLiteral("Fault: hang the terminal up once <n> lines have been sent, as a pulled adapter "
                       "does; the program then ends unless --reopen-after is given."), QStringLiteral("n"));
    const QCommandLineOption reopenAfter(QStringLiteral("reopen-after"),
        QStringLiteral("After a hang-up, open a new terminal at the same --link path after <ms> "
                       "milliseconds (prints the new path); the hang-up fault is not repeated."),
        QStringLiteral("ms"));
    const QCommandLineOption runningState(QStringLiteral("running-state"),
        QStringLiteral("Start as a supply in use (150 eV, filament on at 2.1 A, screen on at 5.5 kV, every "
                       "module on with typical gains and offsets) instead of all zero and off."));
    parser.addOptions({link, model, prompt, baud, errors, noise, seed, silent, noEcho, extraLines,
                       garbage, runaway, silentAfter, hangupAfter, reopenAfter, runningState});
    parser.process(app);

    auto fail = [](const QString &message) {
        printLine(QStringLiteral("tavrel-virtual-supply: ") + message, stderr);
        return 2;
    };

    VirtualSupply::Options options;
    options.keepLog = false;
    const QString modelName = parser.value(model).toLower();
    if (modelName == QLatin1String("r4150"))
        options.model = InstrumentModel::kModelR4150;
    else if (modelName == QLatin1String("tavrel"))
        options.model = InstrumentModel::kModelTavrel;
    else
        return fail(QStringLiteral("unknown model \"") + parser.value(model) + QStringLiteral("\" (r4150 or tavrel)"));
    options.prompt = parser.isSet(prompt);
    options.errorReplies = parser.isSet(errors);
    auto count = [&](const QCommandLineOption &option, int &target) {
        if (!parser.isSet(option))
            return true;
        target = countOption(parser.value(option));
        return target >= 0;
    };
    if (!count(baud, options.baud))
        return fail(QStringLiteral("--baud needs a whole number"));
    int seedValue = int(options.seed);
    if (!count(seed, seedValue))
        return fail(QStringLiteral("--seed needs a whole number"));
    options.seed = quint32(seedValue);
    if (parser.isSet(noise))
        options.monitorNoise = ValOf(parser.value(noise));
    SupplyFaults &faults = options.faults;
    faults.silent = parser.isSet(silent);
    faults.noEcho = parser.isSet(noEcho);
    faults.garbage = parser.isSet(garbage);
    faults.runaway = parser.isSet(runaway);
    if (!count(extraLines, faults.extraLines) || !count(silentAfter, faults.silentAfter)
        || !count(hangupAfter, faults.hangupAfter))
        return fail(QStringLiteral("--extra-lines, --silent-after and --hangup-after need a whole number"));
    int reopenMs = -1;
    if (!count(reopenAfter, reopenMs))
        return fail(QStringLiteral("--reopen-after needs a whole number of milliseconds"));
    if (reopenMs >= 0 && !parser.isSet(link))
        return fail(QStringLiteral("--reopen-after needs --link"));

    if (!installSignalHandlers())
        return fail(QStringLiteral("cannot install signal handlers"));

    VirtualSupply supply(options);
    if (parser.isSet(runningState))
        supply.updateModel([](InstrumentModel &model) { model.applyRunningState(); });
    if (!supply.start(parser.value(link)))
        return fail(supply.errorString());
    printLine(supply.slavePath(), stdout);

    for (;;) {
        if (waitForSignal(kHangupPollMs))
            break;
        if (!supply.hasHungUp())
            continue;
        if (reopenMs < 0)
            break;
        if (waitForSignal(reopenMs))
            break;
        SupplyFaults again = supply.faults();
        again.hangupAfter = -1;
        supply.setFaults(again);
        if (!supply.reopen())
            return fail(supply.errorString());
        printLine(supply.slavePath(), stdout);
    }
    supply.stop();
    return 0;
}
