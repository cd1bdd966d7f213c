#include "app/MainMenu.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

MainMenu MainMenu::build(QMainWindow &window)
{
    MainMenu m;
    auto addItem = [](QMenu *menu, const char *name, const QString &caption) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    m.mnuFile = window.menuBar()->addMenu(QStringLiteral("&File"));
    m.mnuFile->setObjectName(QStringLiteral("mnuFile"));
    m.mnuOpen = addItem(m.mnuFile, "mnuOpen", QStringLiteral("&Open Profile..."));
    m.mnuSave = addItem(m.mnuFile, "mnuSave", QStringLiteral("Sa&ve Profile"));
    m.mnuSaveAs = addItem(m.mnuFile, "mnuSaveAs", QStringLiteral("Save Profile &As..."));
    m.mnuFile->addSeparator();
    m.mnuSetup = addItem(m.mnuFile, "mnuSetup", QStringLiteral("&Setup..."));
    m.mnuFile->addSeparator();
    m.mnuSimulation = addItem(m.mnuFile, "mnuSimulation", QStringLiteral("Si&mulation"));
    m.mnuSimulation->setCheckable(true);
    m.mnuFile->addSeparator();
    m.mnuExit = addItem(m.mnuFile, "mnuExit", QStringLiteral("E&xit"));

    m.mnuRefresh = window.menuBar()->addMenu(QStringLiteral("&Refresh"));
    m.mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
    m.mnuRefreshAll = addItem(m.mnuRefresh, "mnuRefreshAll", QStringLiteral("&Refresh All"));
    m.mnuRefreshAll->setShortcut(QKeySequence(Qt::Key_F5));
    m.mnuAutoRefresh = addItem(m.mnuRefresh, "mnuAutoRefresh", QStringLiteral("&Auto Refresh"));
    m.mnuAutoRefresh->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    m.mnuAutoRefresh->setCheckable(true);
    // Shortcuts work while the menu is closed, too.
    window.addAction(m.mnuRefreshAll);
    window.addAction(m.mnuAutoRefresh);

    m.mnuTools = window.menuBar()->addMenu(QStringLiteral("&Tools"));
    m.mnuTools->setObjectName(QStringLiteral("mnuTools"));
    m.mnuEnergyRamp = addItem(m.mnuTools, "mnuEnergyRamp", QStringLiteral("Energy &Ramp..."));
    m.mnuIvMeasurement = addItem(m.mnuTools, "mnuIvMeasurement", QStringLiteral("&I(V) Measurement..."));
    m.mnuHistory = addItem(m.mnuTools, "mnuHistory", QStringLiteral("Monitor &History..."));
    m.mnuJournal = addItem(m.mnuTools, "mnuJournal", QStringLiteral("&Journal"));
    m.mnuJournal->setCheckable(true);
    m.mnuNetwork = addItem(m.mnuTools, "mnuNetwork", QStringLiteral("&Network..."));
    m.mnuFilament = addItem(m.mnuTools, "mnuFilament", QStringLiteral("&Filament..."));

    m.mnuAbout = window.menuBar()->addAction(QStringLiteral("&About"));
    m.mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    return m;
}

void MainMenu::setConnected(bool connected) const
{
    for (QAction *action : {mnuOpen, mnuSave, mnuSaveAs})
        action->setEnabled(connected);
    mnuRefresh->setEnabled(connected);
    mnuRefresh->menuAction()->setEnabled(connected);
    // The items' shortcuts live on the window too: a disabled menu must not answer F5/Shift+F5.
    mnuRefreshAll->setEnabled(connected);
    mnuAutoRefresh->setEnabled(connected);
}
