#include "BenchWindow.h"

#include "SupplyScene.h"

#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
constexpr int kPollMs = 1;

VirtualSupply::Options paced(int baud)
{
    VirtualSupply::Options options;
    options.baud = baud;
    return options;
}
} // namespace

BenchWindow::BenchWindow(int baud) : BenchWindow(paced(baud)) {}

BenchWindow::BenchWindow(const VirtualSupply::Options &options)
    : supply(std::make_unique<VirtualSupply>(options))
{
    if (!SupplyScene::startAsCom1(*supply))
        return;
    window = std::make_unique<MainWindow>(ui, CommandLine::parse(QStringLiteral("/COM1")));
    window->setSetupDialogRunner([this] { ++setupDialogs; });
    window->load();
    // The connecting read-back and the first cycle end before a figure starts.
    while (!window->line().isIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

BenchWindow::~BenchWindow()
{
    window.reset();
    supply->stop();
}

void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runEventsUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(kPollMs);
    loop.exec();
    return done();
}
