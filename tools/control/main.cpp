// tavrel-control: speaks the control link of a running tavrel program from the command line.

#include "ControlConnection.h"
#include "JournalPrinter.h"
#include "core/RuntimeDirectory.h"
#include "core/SettingsStore.h"
#include "journal/JournalFiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

enum ExitCode { kExitOk = 0, kExitErrorAnswer = 1, kExitUsage = 2, kExitNoConnection = 3 };

// The program answers from its event loop; a serial transaction (poke of DA_set_voltage) or a
// full read-back may hold it for some seconds.
constexpr int kAnswerTimeoutMs = 30000;

const char kUsage[] =
    "Usage: tavrel-control [--socket PATH] COMMAND ARGUMENTS\n"
    "Drives a running tavrel program through its control link.\n"
    "\n"
    "  execute TEXT        send a command, e.g. ENERGY=150\n"
    "  poke ITEM TEXT      write a text field, e.g. poke DA_set_voltage 1.5\n"
    "  request ITEM        print an item's text, e.g. request Label_UMon(0)\n"
    "  advise ITEM         print the item's text on every change until interrupted\n"
    "  ramp E1 E2 S T D    run an energy ramp from E1 to E2 eV in steps of S eV, settling T ms\n"
    "                      and dwelling D ms a step; prints each step as a CSV line\n"
    "  ramp E1 E2 S T --ack CMD\n"
    "                      the same, running CMD through sh -c after each step (with\n"
    "                      TAVREL_STEP and TAVREL_ENERGY set; its output goes to standard\n"
    "                      error) and acknowledging the step when CMD ends\n"
    "  iv E1 E2 S T FOLDER run an I(V) measurement with the camera and spots set in the\n"
    "                      program's I(V) window, into FOLDER; prints each step as a CSV line\n"
    "  history SECONDS     print the monitor samples of that many last seconds: time,\n"
    "                      energy monitor (V), beam current (A), cathode current (A),\n"
    "                      anode current (A), screen voltage (V)\n"
    "  journal [--follow]  print today's journal (it needs no running program); with\n"
    "                      --follow, go on printing what is added until interrupted\n"
    "  --socket PATH       talk to the program listening at PATH (a path, relative to\n"
    "                      the current folder) instead of the one in this user's\n"
    "                      runtime folder\n"
    "  --help              show this help\n"
    "\n"
    "Several TEXT words are joined with single blanks.\n"
    "Exit codes: 0 done, 1 the program answered with an error, 2 wrong usage,\n"
    "3 no running program or the connection failed.\n"
    "The journal lives in $XDG_STATE_HOME/tavrel (normally ~/.local/state/tavrel).\n";

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString &why)
{
    err() << "tavrel-control: " << why << "\n" << kUsage;
    err().flush();
    return kExitUsage;
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x20 || (ch.unicode() >= 0x7F && ch.unicode() <= 0x9F))
            return true;
    }
    return false;
}

// Exit code for one answer; prints DATA texts and ERROR reports.
int reportAnswer(const std::optional<QString> &answer)
{
    if (!answer) {
        err() << "tavrel-control: no answer from the program\n";
        return kExitNoConnection;
    }
    if (*answer == QLatin1String("OK"))
        return kExitOk;
    if (answer->startsWith(QLatin1String("DATA "))) {
        out() << answer->mid(5) << "\n";
        return kExitOk;
    }
    if (answer->startsWith(QLatin1String("ERROR "))) {
        err() << "tavrel-control: " << answer->mid(6) << "\n";
        return kExitErrorAnswer;
    }
    err() << "tavrel-control: unexpected answer: " << *answer << "\n";
    return kExitNoConnection;
}

const char kCsvHeader[] = "step,energy_set_eV,energy_monitor_V,beam_current_A,time_ms";

// Follows a ramp to its END; with `ackCommand`, runs it after each step and acknowledges.
int followRamp(ControlConnection &connection, const QString &ackCommand)
{
    out() << kCsvHeader << "\n";
    out().flush();
    for (;;) {
        const std::optional<QString> line = connection.readLine(-1);
        if (!line) {
            err() << "tavrel-control: the program closed the connection\n";
            return kExitNoConnection;
        }
        const QStringList words = line->split(QLatin1Char(' '));
        if (words.first() == QLatin1String("END")) {
            if (words.value(2) == QLatin1String("complete"))
                return kExitOk;
            err() << "tavrel-control: the ramp stopped after " << words.value(1) << " steps\n";
            return kExitErrorAnswer;
        }
        if (words.first() != QLatin1String("STEP") || words.size() != 6)
            continue; // an answer or a notification of something else
        out() << words.mid(1).join(QLatin1Char(',')) << "\n";
        out().flush();
        if (ackCommand.isEmpty())
            continue;
        QProcess camera;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVREL_STEP"), words.at(1));
        environment.insert(QStringLiteral("TAVREL_ENERGY"), words.at(2));
        camera.setProcessEnvironment(environment);
        camera.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        camera.setStandardOutputFile(QStringLiteral("/dev/stderr"), QIODevice::Append); // the CSV stays clean
        camera.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), ackCommand});
        const bool ran = camera.waitForFinished(-1) && camera.exitStatus() == QProcess::NormalExit
                         && camera.exitCode() == 0;
        if (!ran) {
            connection.sendLine(QStringLiteral("RAMP STOP"));
            err() << "tavrel-control: the command failed at step " << words.at(1) << ": the ramp is stopped\n";
            return kExitErrorAnswer;
        }
        connection.sendLine(QStringLiteral("ACK ") + words.at(1));
    }
}

// Follows an I(V) measurement to its END, each IVSTEP as a CSV line.
int followMeasurement(ControlConnection &connection)
{
    out() << "step,energy_eV,beam_current_A,frame_file\n";
    out().flush();
    for (;;) {
        const std::optional<QString> line = connection.readLine(-1);
        if (!line) {
            err() << "tavrel-control: the program closed the connection\n";
            return kExitNoConnection;
        }
        if (line->startsWith(QLatin1String("END "))) {
            const QStringList words = line->split(QLatin1Char(' '));
            if (words.value(2) == QLatin1String("complete"))
                return kExitOk;
            err() << "tavrel-control: the measurement stopped after " << words.value(1) << " steps"
                  << (words.size() > 3 ? QStringLiteral(": ") + words.mid(3).join(QLatin1Char(' ')) : QString()) << "\n";
            return kExitErrorAnswer;
        }
        if (!line->startsWith(QLatin1String("IVSTEP ")))
            continue;
        // The frame file is the rest of the line: it may hold blanks.
        const QStringList words = line->mid(7).split(QLatin1Char(' '));
        out() << words.mid(0, 3).join(QLatin1Char(',')) << ',' << words.mid(3).join(QLatin1Char(' ')) << "\n";
        out().flush();
    }
}

// The SAMPLE lines as CSV, up to the closing OK.
int printHistory(ControlConnection &connection)
{
    out() << "time,energy_monitor_V,beam_current_A,cathode_current_A,anode_current_A,screen_V\n";
    for (;;) {
        const std::optional<QString> answer = connection.readLine(kAnswerTimeoutMs);
        if (!answer || !answer->startsWith(QLatin1String("SAMPLE ")))
            return answer && answer->startsWith(QLatin1String("OK ")) ? kExitOk : reportAnswer(answer);
        out() << answer->mid(7).replace(QLatin1Char(' '), QLatin1Char(',')) << "\n";
    }
}

QString socketPath()
{
    const QString path = RuntimeDirectory::filePath(QStringLiteral("Control"));
    if (!path.isEmpty())
        return path;
    // The folder is missing or not ours: name where the program would listen.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return (runtime.isEmpty() ? QStringLiteral("<runtime folder>") : runtime) + QStringLiteral("/tavrel/Control");
}

int run(QStringList args)
{
    QString path = socketPath();
    if (args.value(0) == QLatin1String("--socket")) {
        if (args.size() < 2)
            return usageError(QStringLiteral("--socket needs a PATH"));
        path = QFileInfo(args.at(1)).absoluteFilePath(); // relative to where it is typed, never a bare name
        args = args.mid(2);
    }
    if (args.isEmpty())
        return usageError(QStringLiteral("missing command"));
    const QString command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out() << kUsage;
        return kExitOk;
    }

    if (command == QLatin1String("journal")) {
        const bool follow = args.value(1) == QLatin1String("--follow");
        if (args.size() > 2 || (args.size() == 2 && !follow))
            return usageError(QStringLiteral("journal takes only --follow"));
        const auto journalOn = [] {
            return SettingsStore::readText(QStringLiteral("Journal"), QStringLiteral("Enabled"), QStringLiteral("0"))
                       .trimmed()
                == QLatin1String("1");
        };
        return JournalPrinter(JournalFiles::defaultFolder(), journalOn).run(follow, out(), err());
    }

    QString line;
    if (command == QLatin1String("execute")) {
        if (args.size() < 2)
            return usageError(QStringLiteral("execute needs a TEXT"));
        line = QStringLiteral("EXECUTE ") + args.mid(1).join(QLatin1Char(' '));
    } else if (command == QLatin1String("poke")) {
        if (args.size() < 3)
            return usageError(QStringLiteral("poke needs an ITEM and a TEXT"));
        line = QStringLiteral("POKE ") + args.at(1) + QLatin1Char(' ') + args.mid(2).join(QLatin1Char(' '));
    } else if (command == QLatin1String("request") || command == QLatin1String("advise")) {
        if (args.size() != 2)
            return usageError(command + QStringLiteral(" needs exactly one ITEM"));
        line = command.toUpper() + QLatin1Char(' ') + args.at(1);
    } else if (command == QLatin1String("history")) {
        if (args.size() != 2)
            return usageError(QStringLiteral("history needs SECONDS"));
        line = QStringLiteral("HISTORY ") + args.at(1);
    } else if (command == QLatin1String("ramp")) {
        const bool acknowledged = args.size() == 7 && args.at(5) == QLatin1String("--ack");
        if (args.size() != 6 && !acknowledged)
            return usageError(QStringLiteral("ramp needs E1 E2 S T and D or --ack CMD"));
        line = QStringLiteral("RAMP ") + args.mid(1, 4).join(QLatin1Char(' '))
               + (acknowledged ? QStringLiteral(" ACK") : QLatin1Char(' ') + args.at(5));
    } else if (command == QLatin1String("iv")) {
        if (args.size() < 6)
            return usageError(QStringLiteral("iv needs E1 E2 S T and a FOLDER"));
        // The program resolves the folder itself: a relative one is made absolute here.
        line = QStringLiteral("IV START ") + args.mid(1, 4).join(QLatin1Char(' ')) + QLatin1Char(' ')
               + QFileInfo(args.mid(5).join(QLatin1Char(' '))).absoluteFilePath();
    } else {
        return usageError(QStringLiteral("unknown command: ") + command);
    }
    if (hasControlCharacter(line))
        return usageError(QStringLiteral("arguments must not contain line breaks or other control characters"));

    ControlConnection connection(path);
    if (!connection.open()) {
        err() << "no running tavrel program: " << path << "\n";
        return kExitNoConnection;
    }
    connection.sendLine(line);
    if (command == QLatin1String("ramp")) {
        const std::optional<QString> answer = connection.readLine(kAnswerTimeoutMs);
        if (!answer || !answer->startsWith(QLatin1String("OK ")))
            return reportAnswer(answer);
        return followRamp(connection, args.size() == 7 ? args.at(6) : QString());
    }
    if (command == QLatin1String("history"))
        return printHistory(connection);
    if (command == QLatin1String("iv")) {
        const std::optional<QString> answer = connection.readLine(kAnswerTimeoutMs);
        if (!answer || !answer->startsWith(QLatin1String("OK ")))
            return reportAnswer(answer);
        return followMeasurement(connection);
    }
    const int result = reportAnswer(connection.readLine(kAnswerTimeoutMs));
    if (result != kExitOk || command != QLatin1String("advise"))
        return result;

    out().flush();
    const QString prefix = QStringLiteral("CHANGED ") + args.at(1) + QLatin1Char(' ');
    for (;;) {
        const std::optional<QString> change = connection.readLine(-1);
        if (!change) {
            err() << "tavrel-control: the program closed the connection\n";
            return kExitNoConnection;
        }
        if (change->startsWith(prefix)) {
            out() << change->mid(prefix.size()) << "\n";
            out().flush();
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The socket lives under the program's name, not this tool's.
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    const int code = run(app.arguments().mid(1));
    out().flush();
    err().flush();
    return code;
}
