#include "app/TerminationSignals.h"

#include <QtTest>

#include <csignal>

namespace {

constexpr int kSignalWaitMs = 20000;

void (*currentHandler(int signalNumber))(int)
{
    struct sigaction action {};
    sigaction(signalNumber, nullptr, &action);
    return action.sa_handler;
}

} // namespace

class TerminationSignalsTest : public QObject
{
    Q_OBJECT
private slots:
    void signalsArriveInEventLoop();
    void previousHandlersComeBack();
};

void TerminationSignalsTest::signalsArriveInEventLoop()
{
    TerminationSignals termination;
    QVERIFY(termination.isActive());
    QSignalSpy requests(&termination, &TerminationSignals::terminationRequested);

    // raise() runs the handler before it returns; the Qt signal comes only from the event loop.
    QCOMPARE(::raise(SIGTERM), 0);
    QCOMPARE(requests.count(), 0);
    QVERIFY(requests.wait(kSignalWaitMs));
    QCOMPARE(requests.takeFirst().at(0).toInt(), SIGTERM);

    // Several signals before the loop runs are all delivered, in order.
    QCOMPARE(::raise(SIGINT), 0);
    QCOMPARE(::raise(SIGHUP), 0);
    QCOMPARE(::raise(SIGTERM), 0);
    QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 3, kSignalWaitMs);
    QCOMPARE(requests.at(0).at(0).toInt(), SIGINT);
    QCOMPARE(requests.at(1).at(0).toInt(), SIGHUP);
    QCOMPARE(requests.at(2).at(0).toInt(), SIGTERM);

    // A second object does not steal the handlers of the first.
    QTest::ignoreMessage(QtWarningMsg, "TerminationSignals: handlers are already installed by another object");
    TerminationSignals other;
    QVERIFY(!other.isActive());
    QSignalSpy otherRequests(&other, &TerminationSignals::terminationRequested);
    requests.clear();
    QCOMPARE(::raise(SIGTERM), 0);
    QVERIFY(requests.wait(kSignalWaitMs));
    QCOMPARE(otherRequests.count(), 0);
}

void TerminationSignalsTest::previousHandlersComeBack()
{
    // Whatever was installed before (the test framework has handlers of its own) comes back.
    const auto termBefore = currentHandler(SIGTERM);
    const auto intBefore = currentHandler(SIGINT);
    const auto hupBefore = std::signal(SIGHUP, SIG_IGN);
    {
        TerminationSignals termination;
        QVERIFY(termination.isActive());
        QVERIFY(currentHandler(SIGTERM) != termBefore);
        QVERIFY(currentHandler(SIGHUP) != SIG_IGN);
    }
    QVERIFY(currentHandler(SIGTERM) == termBefore);
    QVERIFY(currentHandler(SIGINT) == intBefore);
    QVERIFY(currentHandler(SIGHUP) == SIG_IGN);
    std::signal(SIGHUP, hupBefore);

    // After the first object is gone a new one can take over.
    TerminationSignals again;
    QVERIFY(again.isActive());
    QSignalSpy requests(&again, &TerminationSignals::terminationRequested);
    QCOMPARE(::raise(SIGHUP), 0);
    QVERIFY(requests.wait(kSignalWaitMs));
    QCOMPARE(requests.at(0).at(0).toInt(), SIGHUP);
}

QTEST_GUILESS_MAIN(TerminationSignalsTest)
#include "TerminationSignalsTest.moc"
