#pragma once

class QAction;
class QMainWindow;
class QMenu;

// The menu bar of the main window: "&File", "&Refresh", "&Tools" and "&About", each item named
// by its control name. The window connects the items to the commands.
struct MainMenu
{
    QMenu *mnuFile = nullptr;
    QMenu *mnuRefresh = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuSave = nullptr;
    QAction *mnuSaveAs = nullptr;
    QAction *mnuSetup = nullptr;
    QAction *mnuSimulation = nullptr;
    QAction *mnuExit = nullptr;
    QAction *mnuRefreshAll = nullptr;
    QAction *mnuAutoRefresh = nullptr;
    QMenu *mnuTools = nullptr;         // beyond the supply's own commands
    QAction *mnuEnergyRamp = nullptr;
    QAction *mnuHistory = nullptr;
    QAction *mnuJournal = nullptr;
    QAction *mnuNetwork = nullptr;
    QAction *mnuIvMeasurement = nullptr;
    QAction *mnuFilament = nullptr;
    QAction *mnuAbout = nullptr;

    // Builds the menus on the window's menu bar. F5 and Shift+F5 also work while the menu is
    // closed, and only while their items are enabled.
    static MainMenu build(QMainWindow &window);
    // The profile and refresh items follow the connection state.
    void setConnected(bool connected) const;
};
