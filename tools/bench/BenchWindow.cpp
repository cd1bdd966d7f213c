#include "BenchWindow.h"

#include "SupplyScene.h"

#include "app/CommandLine.h"
#include "device/PortTable.h"

#include <QCoreApplication>

BenchWindow::BenchWindow(int baud)
{
    VirtualSupply::Options options;
    options.baud = baud;
    supply = std::make_unique<VirtualSupply>(options);
    SupplyScene::applyTo(*supply);
    if (!supply->start())
        return;
    PortTable::setPath(1, supply->devicePath());
    window = std::make_unique<MainWindow>(ui, CommandLine::parse(QStringLiteral("/COM1")));
    window->setSetupDialogRunner([] {});
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
