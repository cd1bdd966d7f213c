// A tiny program that plays one start of the operator program for the single-instance tests.
// Prints "primary" or "secondary notified"/"secondary unanswered"; a primary prints "raise"
// for each request it receives and ends after --expect N of them (or on SIGTERM).
// --start-at <ms since epoch> lets several copies start at the same instant.
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kSafetyExitMs = 60000; // a primary never outlives a broken test
constexpr int kExitUnanswered = 2;
constexpr int kExitSafety = 3;

void say(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    const QStringList args = app.arguments();
    const qsizetype expectAt = args.indexOf(QStringLiteral("--expect"));
    const int expected = expectAt >= 0 && expectAt + 1 < args.size() ? args.at(expectAt + 1).toInt() : -1;
    const qsizetype startAt = args.indexOf(QStringLiteral("--start-at"));
    if (startAt >= 0 && startAt + 1 < args.size()) {
        const qint64 wait = args.at(startAt + 1).toLongLong() - QDateTime::currentMSecsSinceEpoch();
        if (wait > 0)
            QThread::msleep(static_cast<unsigned long>(wait));
    }

    SingleInstance instance;
    if (!instance.tryBecomePrimary()) {
        if (instance.notifyPrimary()) {
            say("secondary notified");
            return 0;
        }
        say("secondary unanswered");
        return kExitUnanswered;
    }

    TerminationSignals termination;
    int received = 0;
    QObject::connect(&instance, &SingleInstance::activationRequested, &app, [&] {
        say("raise");
        if (++received == expected)
            QCoreApplication::exit(0);
    });
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app, [](int number) {
        std::printf("terminated %d\n", number);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    QTimer::singleShot(kSafetyExitMs, &app, [] { QCoreApplication::exit(kExitSafety); });
    say("primary");
    return app.exec();
}
