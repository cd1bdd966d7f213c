#include "app/MainWindow.h"

#include "app/IniSettings.h"
#include "app/LampColors.h"
#include "core/QtUserInterface.h"
#include "core/SettingsStore.h"
#include "core/Twips.h"
#include "core/UserInterface.h"
#include "panel/EditField.h"
#include "panel/EnterKeyFilter.h"
#include "panel/IndicatorLamp.h"
#include "panel/ModulePanel.h"
#include "setup/SetupDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

namespace {
const QRect kFallbackScreen(0, 0, 1024, 768);
constexpr double kDefaultDpi = 96.0; // logical dots per inch without a screen
} // namespace

MainWindow::MainWindow(UserInterface &ui, const CommandLine &commandLine, QWidget *parent)
    : QMainWindow(parent), m_ui(ui), m_commandLine(commandLine), m_model(m_state.table),
      m_panel(new ModulePanel(m_model, ui)),
      m_line(m_state, m_sim, ui),
      m_readBack(m_line, m_state, m_model),
      m_cycle(m_model, m_line, m_readBack, m_state, m_sim, ui),
      m_connection(m_line, m_state, m_readBack),
      m_controlVoltage(m_model, m_line, m_state, m_sim),
      m_profiles(m_model, ui),
      m_profileCommands(m_profiles, m_state, ui),
      m_controlLink(m_model, m_state, ui),
      m_server(m_controlLink, m_model),
      m_shutDown(m_line, m_state, m_controlLink, m_connection, ui, this),
      m_ramp(m_line, m_state, m_model, m_sim, m_connection),
      m_rampLink(m_ramp, m_state.table),
      m_menu(MainMenu::build(*this)),
      m_tools({m_state, m_line, m_readBack, m_connection, m_profiles, m_ramp, m_server, m_model, ui}, m_menu, this),
      m_filament({m_state, m_line, m_sim, m_readBack, m_cycle, m_connection, m_ramp, m_server, *m_panel, m_model, ui},
                 m_menu.mnuFilament, this)
{
    setObjectName(QStringLiteral("Form_R4150D"));
    setWindowTitle(m_state.caption());
    setCentralWidget(m_panel);
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(kTimerIntervalMs);
    connectMenus();
    wireSubsystems();
    m_model.setPortCaption(SerialLink::portCaptionFor(0));
    setConnected(false);

    m_enterFilter = new EnterKeyFilter(*this, this);
    connect(m_enterFilter, &EnterKeyFilter::refreshRequested, &m_cycle, &RefreshCycle::runCycle);
    qApp->installEventFilter(m_enterFilter);
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    // Jobs still under way end now, while everything they use is there; a shut-down's commands
    // ended that way do not unload a window that is going.
    disconnect(&m_shutDown, &ShutDownSequence::commandsSent, this, &MainWindow::finishShutDown);
    m_line.shutDown();
    if (qApp) {
        qApp->removeEventFilter(m_enterFilter);
        qApp->removeEventFilter(this);
    }
    m_server.close();
}

void MainWindow::wireSubsystems()
{
    connect(&m_timer, &QTimer::timeout, this, [this] { m_cycle.runCycle(); });
    connect(&m_state, &ControllerState::captionChanged, this, &QWidget::setWindowTitle);
    m_profiles.setCaption(m_state.caption());
    connect(&m_state, &ControllerState::captionChanged, &m_profiles, &ProfileStore::setCaption);
    connect(&m_profileCommands, &ProfileCommands::refreshRequested, &m_cycle, &RefreshCycle::runForced);
    connect(&m_state, &ControllerState::autoRefreshPropertyChanged, m_menu.mnuAutoRefresh, &QAction::setChecked);
    connect(&m_line, &SupplyLine::lampChanged, this, [this](SerialLink::Lamp lamp) {
        m_panel->busyLamp().setColor(LampColors::forLine(lamp, palette().color(QPalette::Button)));
    });
    connect(&m_line, &SupplyLine::portCaptionChanged, &m_model, &SupplyModel::setPortCaption);
    connect(&m_line, &SupplyLine::lampChanged, &m_model, &SupplyModel::setLineLamp);
    connect(&m_line, &SupplyLine::replyTimedOut, &m_state, [this] { m_state.setAutoRefresh(false); });
    connect(&m_line, &SupplyLine::portLost, &m_connection, &ConnectionSequence::disconnectLostPort);
    connect(&m_connection, &ConnectionSequence::connectedChanged, this, &MainWindow::setConnected);
    connect(&m_connection, &ConnectionSequence::autoRefreshCheckChanged, m_menu.mnuAutoRefresh, &QAction::setChecked);
    connect(&m_controlLink, &ControlLink::lampChanged, this, [this](ControlLink::Lamp lamp) {
        m_panel->linkLamp().setColor(LampColors::forControlLink(lamp, palette().color(QPalette::Button)));
    });
    connect(&m_controlLink, &ControlLink::exitEnabledChanged, m_menu.mnuExit, &QAction::setEnabled);
    connect(&m_model, &SupplyModel::itemChanged, &m_server, &ControlLinkServer::notifyItemChanged);
    connect(&m_model, &SupplyModel::controlVoltageChanged, this, [this](const QString &text) {
        if (!m_readBack.isReading())
            m_ramp.stop(); // another way of setting the energy: the ramp gives way first
        m_controlVoltage.apply(text);
    });
    // A marked energy ends a ramp (a ramp step holds the line from its VEN to its REN).
    connect(&m_cycle, &RefreshCycle::energyAboutToBeSent, &m_ramp, &EnergyRamp::stop);
    m_server.addExtension(&m_rampLink);
    connect(&m_rampLink, &RampLink::lineForConversation, &m_server, &ControlLinkServer::sendTo);
    connect(&m_rampLink, &RampLink::lineForConversation, &m_tools.network(), &NetworkLink::sendTo);
    connect(&m_tools.network(), &NetworkLink::stateChanged, this, [this](NetworkLink::State state, const QString &text) {
        const QColor rest = palette().color(QPalette::Button);
        m_panel->showNetwork(state != NetworkLink::State::Off, LampColors::forNetwork(state, rest), text);
    });
    connect(&m_shutDown, &ShutDownSequence::filamentRampDownRequested, this,
            [this](bool &switchedOff) { switchedOff = m_filament.rampDownForShutDown(); });
    connect(&m_shutDown, &ShutDownSequence::aboutToSendCommands, this, [this] {
        m_ramp.stop();
        m_filament.stop(); // the shut-down decides how the filament goes off
        m_timer.stop();
    });
    connect(&m_shutDown, &ShutDownSequence::commandsSent, this, &MainWindow::finishShutDown);
    connect(m_panel, &ModulePanel::sendNowRequested, this, [this] { m_cycle.runCycle(); });
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool anodeKey = key->key() == Qt::Key_A && key->modifiers() == Qt::AltModifier;
    if (!anodeKey || QApplication::activeWindow() != this || QApplication::activePopupWidget()
        || QApplication::activeModalWidget())
        return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept(); // deliver it as a key press instead of the ambiguous shortcut
        return true;
    }
    if (m_panel->anodeField().isEnabled())
        m_panel->anodeField().setFocus(Qt::ShortcutFocusReason);
    return true;
}

void MainWindow::connectMenus()
{
    connect(m_menu.mnuFile, &QMenu::aboutToShow, this, &MainWindow::updateFileMenu);
    connect(m_menu.mnuOpen, &QAction::triggered, &m_profileCommands, &ProfileCommands::openProfile);
    connect(m_menu.mnuSave, &QAction::triggered, &m_profileCommands, &ProfileCommands::saveProfile);
    connect(m_menu.mnuSaveAs, &QAction::triggered, &m_profileCommands, &ProfileCommands::saveProfileAs);
    connect(m_menu.mnuSetup, &QAction::triggered, this, &MainWindow::openSetup);
    connect(m_menu.mnuSimulation, &QAction::triggered, this, &MainWindow::toggleSimulation);
    connect(m_menu.mnuExit, &QAction::triggered, this, &MainWindow::exitProgram);
    connect(m_menu.mnuRefresh, &QMenu::aboutToShow, this, &MainWindow::updateRefreshMenu);
    connect(m_menu.mnuRefreshAll, &QAction::triggered, this, &MainWindow::refreshAll);
    connect(m_menu.mnuAutoRefresh, &QAction::triggered, this, &MainWindow::setAutoRefreshChecked);
    connect(m_menu.mnuAbout, &QAction::triggered, this, &MainWindow::showAbout);
}

double MainWindow::logicalDpi() const
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : kDefaultDpi;
}

QPoint MainWindow::windowTopLeftTwips() const
{
    // Relative to the available area, as the placement reads it, so the window does not creep
    // by the width of a desktop panel on every start.
    const double dpi = logicalDpi();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->availableGeometry().topLeft() : QPoint();
    const QPoint topLeft = frameGeometry().topLeft() - origin;
    return QPoint(Twips::roundedFromPixels(topLeft.x(), dpi), Twips::roundedFromPixels(topLeft.y(), dpi));
}

void MainWindow::load()
{
    m_state.serviceMode = m_commandLine.service;
    if (m_state.serviceMode)
        m_panel->showServiceTable(ReadBack::kServiceTableLines, ReadBack::kServiceTableColumns, logicalDpi());
    // The layout takes its final size only when activated; the placement below needs it now,
    // service panel included.
    ensurePolished();
    layout()->activate();
    adjustSize();

    const double dpi = logicalDpi();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : kFallbackScreen;
    IniSettings::Geometry geometry;
    geometry.screenWidth = Twips::fromPixels(available.width(), dpi);
    geometry.screenHeight = Twips::fromPixels(available.height(), dpi);
    const QSize frame = frameGeometry().size().expandedTo(sizeHint());
    geometry.windowWidth = Twips::fromPixels(frame.width(), dpi);
    geometry.windowHeight = Twips::fromPixels(frame.height(), dpi);
    const QPoint topLeft = IniSettings::load(m_state, m_commandLine, geometry);
    move(available.left() + Twips::toPixels(topLeft.x(), dpi), available.top() + Twips::toPixels(topLeft.y(), dpi));

    m_tools.loadSettings();
    m_filament.loadSettings();
    if (m_commandLine.simulation)
        m_state.simulationMode = true;
    if (m_state.simulationMode)
        m_panel->setSimulationShown(true);

    if (!m_server.listen())
        qWarning("tavrel: the control link is not available: %s", qPrintable(m_server.errorString()));

    show();
    m_state.table.fill(m_state.powerSupply());
    connectAtStart();
}

LineTask<> MainWindow::connectAtStart()
{
    const bool connected = co_await m_connection.connectSupply();
    if (m_unloaded)
        co_return;
    if (!connected)
        openSetup();
    // The profile goes onto the panel once the connecting read-back has shown what the supply
    // has (the setup's, when the operator chose a port there), and the first cycle sends it.
    {
        const SupplyLine::Lease lease = co_await m_line.acquire();
    }
    if (m_unloaded || m_line.isRetired() || !m_connection.isConnected())
        co_return;
    if (m_commandLine.profile)
        m_profiles.open(*m_commandLine.profile);
    if (m_unloaded)
        co_return; // ended while its message was open
    m_cycle.runForced();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const int mode = m_pendingUnloadMode;
    m_pendingUnloadMode = ShutDownSequence::kUnloadFromFrame;
    if (m_unloaded) {
        event->accept();
        return;
    }
    const ShutDownSequence::Decision decision = m_shutDown.queryUnload(mode);
    if (m_unloaded) {
        // The session ended while this request's dialog or message was open (unloadForSystem).
        event->accept();
        return;
    }
    if (decision != ShutDownSequence::Decision::Unload) {
        // Cancelled, or the window closes once the shut-down's commands are out.
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

void MainWindow::finishShutDown()
{
    if (!m_unloaded)
        unload();
    close();
}

void MainWindow::unload()
{
    m_unloaded = true;
    m_ramp.stop();
    m_filament.stop();
    m_timer.stop();
    IniSettings::save(m_state, windowTopLeftTwips());
    SettingsStore::sync();
    m_line.retire(); // the port closes; a cycle interrupted by the unload must not go on talking to the line
    m_server.close();
    m_tools.network().stop();
    // Queued: a quit sent while this window is still inside its close request (or a dialog's
    // loop) is lost, and the program would linger without a window.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void MainWindow::unloadForSystem()
{
    // Nobody is there to answer: a failure on the way out goes to standard error.
    m_ui.setUnattended(true);
    if (!m_unloaded) {
        m_pendingUnloadMode = ShutDownSequence::kUnloadFromSystem;
        close();
        // Qt swallows a close while another close request still waits on its dialog or
        // message; the end of the session does not wait for the operator, and the mode must
        // not linger for a later close through the frame.
        m_pendingUnloadMode = ShutDownSequence::kUnloadFromFrame;
        if (!m_unloaded
            && m_shutDown.queryUnload(ShutDownSequence::kUnloadFromSystem) == ShutDownSequence::Decision::Unload)
            unload();
    }
    // End the modal loops that still wait (the setup dialog or a message of the load sequence,
    // a shut-down dialog): the code waiting in them returns and finds the window unloaded. The
    // load sequence runs before the application's event loop, where a quit would be lost.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows)
        if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
            dialog->reject();
    if (m_unloaded)
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    // Otherwise the unload follows the shut-down's commands, and quits then.
}

void MainWindow::raiseWindow()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::updateFileMenu()
{
    m_menu.mnuSimulation->setChecked(m_state.simulationMode);
}

void MainWindow::toggleSimulation()
{
    m_state.simulationMode = !m_state.simulationMode;
    m_menu.mnuSimulation->setChecked(m_state.simulationMode);
    m_panel->setSimulationShown(m_state.simulationMode);
}

void MainWindow::showAbout()
{
    const QString crlf = QStringLiteral("\r\n");
    const QString text = QStringLiteral("Operator program for the Tavrel digital power supply") + crlf
                         + QStringLiteral("of LEED electron optics, models R4150-D and Tavrel digital.") + crlf
                         + QStringLiteral("Made by the supply's maker for use with its instruments.") + crlf
                         + QStringLiteral("It sets and reads back all eight modules of the supply") + crlf
                         + QStringLiteral("over its serial line.") + crlf + crlf + QString(11, QLatin1Char(' '))
                         + m_panel->versionDate();
    m_ui.messageBox(text, m_state.caption(), UserInterface::Icon::Information);
}

void MainWindow::updateRefreshMenu()
{
    m_menu.mnuAutoRefresh->setChecked(m_state.autoRefresh());
}

void MainWindow::refreshAll()
{
    // A job of its own: during a ramp step's settle time the eight reads follow the step's REN.
    m_readBack.readAll(true);
}

void MainWindow::setAutoRefreshChecked(bool checked)
{
    // The action has inverted its check mark already; the flag follows it.
    m_state.setAutoRefresh(checked);
}

void MainWindow::openSetup()
{
    if (m_setupRunner) {
        m_setupRunner();
        return;
    }
    SetupDialog dialog(m_state, m_ui, m_line, m_connection, this);
    QtUserInterface::execModal(dialog);
}

void MainWindow::exitProgram()
{
    m_pendingUnloadMode = ShutDownSequence::kUnloadFromProgram;
    close();
}

void MainWindow::setConnected(bool connected)
{
    if (connected)
        m_timer.start();
    else
        m_timer.stop();
    m_menu.setConnected(connected);
    m_model.setEditable(connected);
}
