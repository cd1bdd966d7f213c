#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "core/QtUserInterface.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include <cstdio>
#include <cstdlib>

namespace {

// Without any display Qt aborts with a plugin error; say how to run instead.
bool displayAvailable(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "-platform") == 0)
            return true;
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv)
{
    if (!displayAvailable(argc, argv)) {
        std::fputs("tavrel: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Run it on a desktop, or on a virtual display:\n"
                   "    xvfb-run -a tavrel [switches]\n"
                   "or without any display (nothing is shown):\n"
                   "    QT_QPA_PLATFORM=offscreen tavrel [switches]\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    const CommandLine commandLine = CommandLine::parse(QCoreApplication::arguments().mid(1));

    SingleInstance instance;
    if (!instance.tryBecomePrimary()) {
        if (instance.notifyPrimary())
            return 0;
        // The running program ended between our lock attempt and the request: take its place.
        if (!instance.tryBecomePrimary()) {
            std::fputs("tavrel: another instance is starting or ending; try again.\n", stderr);
            return 1;
        }
    }

    QtUserInterface ui;
    MainWindow window(ui, commandLine);
    ui.setParent(&window);
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, &MainWindow::raiseWindow);

    TerminationSignals terminations;
    QObject::connect(&terminations, &TerminationSignals::terminationRequested, &window,
                     [&window](int) { window.unloadForSystem(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.unloadForSystem(); });

    window.load();
    if (window.isUnloaded())
        return 0;
    return app.exec();
}
