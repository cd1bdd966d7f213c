#include "app/Form_R4150D.h"

#include "app/Conversions.h"
#include "app/IniSettings.h"
#include "app/QtUserInterface.h"
#include "app/SettingsStore.h"
#include "app/Twips.h"
#include "app/UserInterface.h"
#include "panel/EditField.h"
#include "panel/EnterKeyFilter.h"
#include "panel/IndicatorLamp.h"
#include "panel/OnOffLamp.h"
#include "panel/ScreenBar.h"
#include "panel/SpinControl.h"
#include "panel/SpinImages.h"
#include "setup/Form_R4150DSetup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {
using namespace Module;
const QString kTagProperty = QStringLiteral("Tag");
const QColor kLampRed(255, 0, 0);
const QColor kLampGreen(0, 255, 0);
const QColor kLampOrange(255, 128, 0);
const QColor kLampGrey(192, 192, 192);
constexpr int kMonitorWidthPx = 64;
constexpr int kFieldWidthPx = 56;

const char *const kCaptions[kModuleCount] = {
    "&Energy (eV)", "&Cathode (A)", "Scree&n (kV)", "&Wehnelt (V)",
    "&Anode (V)", "L&1/3 (V)", "&Supressor (V)", "L&2 (V)",
};

QString indexed(const char *base, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(index);
}

double logicalDpi(const QWidget *widget)
{
    const QScreen *screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}
} // namespace

Form_R4150D::Form_R4150D(UserInterface &ui, const CommandLine &commandLine, QWidget *parent)
    : QMainWindow(parent), m_ui(ui), m_commandLine(commandLine),
      m_link(ui, [this] { return m_state.caption(); }),
      m_protocol(m_link, m_state, m_sim),
      m_readBack(m_protocol, m_state, *this, [this] { yieldToEvents(); }),
      m_cycle(*this, m_protocol, m_readBack, m_state, m_sim, [this] { yieldToEvents(); }),
      m_connection(m_link, m_state, m_readBack, *this),
      m_controlVoltage(*this, m_protocol, m_state, m_sim),
      m_profiles(*this, m_state.table, ui, [this] { return m_state.caption(); }),
      m_profileCommands(m_profiles, m_state, ui, [this] { return m_state.caption(); },
                        [this] { m_cycle.Timer1_Timer(); }),
      m_controlLink(*this, *this, ui),
      m_server(m_controlLink, *this),
      m_shutDown(*this, ui, this)
{
    setObjectName(QStringLiteral("Form_R4150D"));
    setWindowTitle(m_state.caption());
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(kTimerIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_cycle.Timer1_Timer(); });
    m_cycle.setAbortCheck([this] { return m_unloaded; });
    m_readBack.setAbortCheck([this] { return m_unloaded; });

    buildMenus();
    buildPanel();
    setPanelConnected(false);

    connect(&m_state, &ControllerState::captionChanged, this, &QWidget::setWindowTitle);
    connect(&m_state, &ControllerState::autoRefreshPropertyChanged, this, &Form_R4150D::setAutoRefreshCheck);
    connect(&m_link, &SerialLink::lampChanged, this, &Form_R4150D::showLinkLamp);
    connect(&m_link, &SerialLink::portCaptionChanged, this,
            [this](const QString &text) { setLabelText(m_labelCommPort, text); });
    connect(&m_link, &SerialLink::replyTimedOut, this, [this] { m_state.setAutoRefresh(false); });
    connect(&m_link, &SerialLink::portLost, this, [this] { m_connection.portLost(); });

    m_enterFilter = new EnterKeyFilter(*this, [this] { m_cycle.Timer1_Timer(); }, this);
    qApp->installEventFilter(m_enterFilter);
    qApp->installEventFilter(this);
}

bool Form_R4150D::eventFilter(QObject *watched, QEvent *event)
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
    if (m_gains[kAnode]->isEnabled())
        m_gains[kAnode]->setFocus(Qt::ShortcutFocusReason);
    return true;
}

Form_R4150D::~Form_R4150D()
{
    if (qApp) {
        qApp->removeEventFilter(m_enterFilter);
        qApp->removeEventFilter(this);
    }
    m_server.close();
}

// ---------------------------------------------------------------------------------------------
// Building the window

void Form_R4150D::buildMenus()
{
    m_mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    m_mnuFile->setObjectName(QStringLiteral("mnuFile"));
    auto addItem = [this](QMenu *menu, const char *name, const QString &caption) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    m_mnuOpen = addItem(m_mnuFile, "mnuOpen", QStringLiteral("&Open Profile..."));
    m_mnuSave = addItem(m_mnuFile, "mnuSave", QStringLiteral("Sa&ve Profile"));
    m_mnuSaveAs = addItem(m_mnuFile, "mnuSaveAs", QStringLiteral("Save Profile &As..."));
    m_mnuFile->addSeparator();
    m_mnuSetup = addItem(m_mnuFile, "mnuSetup", QStringLiteral("&Setup..."));
    m_mnuFile->addSeparator();
    m_mnuSimulation = addItem(m_mnuFile, "mnuSimulation", QStringLiteral("Si&mulation"));
    m_mnuSimulation->setCheckable(true);
    m_mnuFile->addSeparator();
    m_mnuExit = addItem(m_mnuFile, "mnuExit", QStringLiteral("E&xit"));

    m_mnuRefresh = menuBar()->addMenu(QStringLiteral("&Refresh"));
    m_mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
    m_mnuRefreshAll = addItem(m_mnuRefresh, "mnuRefreshAll", QStringLiteral("&Refresh All"));
    m_mnuRefreshAll->setShortcut(QKeySequence(Qt::Key_F5));
    m_mnuAutoRefresh = addItem(m_mnuRefresh, "mnuAutoRefresh", QStringLiteral("&Auto Refresh"));
    m_mnuAutoRefresh->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    m_mnuAutoRefresh->setCheckable(true);
    // Shortcuts work while the menu is closed, too.
    addAction(m_mnuRefreshAll);
    addAction(m_mnuAutoRefresh);

    m_mnuAbout = menuBar()->addAction(QStringLiteral("&About"));
    m_mnuAbout->setObjectName(QStringLiteral("mnuAbout"));

    connect(m_mnuFile, &QMenu::aboutToShow, this, &Form_R4150D::mnuFile_Click);
    connect(m_mnuOpen, &QAction::triggered, &m_profileCommands, &ProfileCommands::mnuOpen_Click);
    connect(m_mnuSave, &QAction::triggered, &m_profileCommands, &ProfileCommands::mnuSave_Click);
    connect(m_mnuSaveAs, &QAction::triggered, &m_profileCommands, &ProfileCommands::mnuSaveAs_Click);
    connect(m_mnuSetup, &QAction::triggered, this, &Form_R4150D::mnuSetup_Click);
    connect(m_mnuSimulation, &QAction::triggered, this, &Form_R4150D::mnuSimulation_Click);
    connect(m_mnuExit, &QAction::triggered, this, &Form_R4150D::mnuExit_Click);
    connect(m_mnuRefresh, &QMenu::aboutToShow, this, &Form_R4150D::mnuRefresh_Click);
    connect(m_mnuRefreshAll, &QAction::triggered, this, &Form_R4150D::mnuRefreshAll_Click);
    connect(m_mnuAutoRefresh, &QAction::triggered, this, &Form_R4150D::mnuAutoRefresh_Click);
    connect(m_mnuAbout, &QAction::triggered, this, &Form_R4150D::mnuAbout_Click);
}

QLabel *Form_R4150D::makeMonitor(const QString &name)
{
    auto *label = new QLabel(QStringLiteral("0 "));
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(kMonitorWidthPx);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QWidget *Form_R4150D::buildModuleGroup(int module)
{
    auto *group = new QFrame;
    group->setObjectName(QStringLiteral("Group_Module(%1)").arg(module));
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto *grid = new QGridLayout(group);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(2);
    int row = 0;

    // Monitors on top.
    auto *monitors = new QHBoxLayout;
    if (module != kCathode && module != kScreen) {
        m_uMon[module] = makeMonitor(indexed("Label_UMon", module));
        monitors->addWidget(m_uMon[module]);
    }
    if (module == kCathode) {
        m_iMon[kCathode] = makeMonitor(indexed("Label_IMon", kCathode));
        monitors->addWidget(m_iMon[kCathode]);
    }
    if (module == kScreen) {
        auto *barBox = new QWidget;
        auto *barGrid = new QGridLayout(barBox);
        barGrid->setContentsMargins(0, 0, 0, 0);
        barGrid->setVerticalSpacing(0);
        auto *scaleLow = new QLabel(QStringLiteral("1"));
        scaleLow->setObjectName(QStringLiteral("Label3(0)"));
        auto *scaleHigh = new QLabel(QStringLiteral("10"));
        scaleHigh->setObjectName(QStringLiteral("Label3(1)"));
        scaleHigh->setAlignment(Qt::AlignRight);
        m_pictureScreen = new ScreenBar;
        barGrid->addWidget(scaleLow, 0, 0);
        barGrid->addWidget(scaleHigh, 0, 1);
        barGrid->addWidget(m_pictureScreen, 1, 0, 1, 2);
        monitors->addWidget(barBox);
    }
    grid->addLayout(monitors, row++, 0, 1, 4);

    auto *caption = new QLabel(QString::fromLatin1(kCaptions[module]));
    caption->setObjectName(indexed("Label_Caption", module));
    grid->addWidget(caption, row++, 0, 1, 4);

    auto addField = [&](PanelField field, int column, const QString &heading) {
        auto *title = new QLabel(heading);
        grid->addWidget(title, row, column, 1, 2);
        auto *edit = new EditField(field, m_state.table, m_ui);
        edit->setToolTip(EditField::toolTipFor(field));
        edit->setFixedWidth(kFieldWidthPx);
        auto *spin = new SpinControl(*edit, m_state.table, m_ui, [this] { m_cycle.Timer1_Timer(); });
        grid->addWidget(edit, row + 1, column);
        grid->addWidget(spin, row + 1, column + 1, Qt::AlignLeft);
        connect(edit, &QLineEdit::textChanged, this,
                [this, field](const QString &text) { m_server.notifyItemChanged(field.controlName(), text); });
        return std::make_pair(edit, spin);
    };
    if (module <= kScreen) {
        auto [edit, spin] = addField(PanelField::value(module), 0, QStringLiteral("Value"));
        m_values[module] = edit;
        m_valueSpins[module] = spin;
        caption->setBuddy(edit);
    } else {
        auto [gain, gainSpin] = addField(PanelField::gain(module), 0, QStringLiteral("Gain"));
        m_gains[module] = gain;
        m_gainSpins[module] = gainSpin;
        caption->setBuddy(gain);
        if (module != kSuppressor) {
            auto [offset, offsetSpin] = addField(PanelField::offset(module), 2, QStringLiteral("Offset"));
            m_offsets[module] = offset;
            m_offsetSpins[module] = offsetSpin;
        }
    }
    row += 2;

    if (module == kCathode || module == kScreen) {
        auto *switches = new QHBoxLayout;
        m_onOff[module] = new OnOffLamp(module);
        m_commandOn[module] = new QPushButton(QStringLiteral("ON"));
        m_commandOn[module]->setObjectName(indexed("Command_On", module));
        m_commandOff[module] = new QPushButton(QStringLiteral("OFF"));
        m_commandOff[module]->setObjectName(indexed("Command_Off", module));
        switches->addWidget(m_onOff[module]);
        switches->addWidget(m_commandOn[module]);
        switches->addWidget(m_commandOff[module]);
        switches->addStretch();
        grid->addLayout(switches, row++, 0, 1, 4);
        connect(m_commandOn[module], &QPushButton::clicked, this, [this, module] { Command_On_Click(module); });
        connect(m_commandOff[module], &QPushButton::clicked, this, [this, module] { Command_Off_Click(module); });
    }
    grid->setRowStretch(row, 1);
    return group;
}

QWidget *Form_R4150D::buildCurrentMonitors()
{
    auto *group = new QFrame;
    group->setObjectName(QStringLiteral("Group_Currents"));
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto *grid = new QGridLayout(group);
    auto *beamCaption = new QLabel(QStringLiteral(" Beam  Current (\u00b5A)"));
    beamCaption->setObjectName(QStringLiteral("Label_IMonCaption(0)"));
    auto *anodeCaption = new QLabel(QStringLiteral("Anode Current (mA)"));
    anodeCaption->setObjectName(QStringLiteral("Label_IMonCaption(4)"));
    m_iMon[kEnergy] = makeMonitor(indexed("Label_IMon", kEnergy));
    m_iMon[kAnode] = makeMonitor(indexed("Label_IMon", kAnode));
    grid->addWidget(beamCaption, 0, 0);
    grid->addWidget(m_iMon[kEnergy], 1, 0);
    grid->addWidget(anodeCaption, 2, 0);
    grid->addWidget(m_iMon[kAnode], 3, 0);
    grid->setRowStretch(4, 1);
    return group;
}

QWidget *Form_R4150D::buildStatusColumn()
{
    auto *group = new QFrame;
    group->setObjectName(QStringLiteral("Group_Status"));
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto *grid = new QGridLayout(group);
    m_labelSimulation = new QLabel(QStringLiteral("SIMULATION"));
    m_labelSimulation->setObjectName(QStringLiteral("Label_Simulation"));
    QFont bold = m_labelSimulation->font();
    bold.setBold(true);
    m_labelSimulation->setFont(bold);
    m_labelSimulation->setStyleSheet(QStringLiteral("color: red"));
    m_labelSimulation->setVisible(false);
    m_labelVersionDate = new QLabel(kVersionDate);
    m_labelVersionDate->setObjectName(QStringLiteral("Label_VersionDate"));
    m_pictureBusy = new IndicatorLamp(QStringLiteral("Picture_Busy"));
    m_labelCommPort = new QLabel(SerialLink::portCaptionFor(0));
    m_labelCommPort->setObjectName(QStringLiteral("Label_CommPort"));
    m_pictureDde = new IndicatorLamp(QStringLiteral("Picture_DDE"));
    auto *ddeCaption = new QLabel(QStringLiteral("DDE"));
    ddeCaption->setObjectName(QStringLiteral("Label_DDE"));
    auto *controlCaption = new QLabel(QStringLiteral("Control (V)"));
    m_daSetVoltage = new QLineEdit;
    m_daSetVoltage->setObjectName(QStringLiteral("DA_set_voltage"));
    m_daSetVoltage->setProperty("Tag", QString());
    m_daSetVoltage->setFixedWidth(kFieldWidthPx);
    m_daSetVoltage->setToolTip(QStringLiteral("Control voltage: the energy is 100 eV per volt"));
    controlCaption->setBuddy(m_daSetVoltage);
    connect(m_daSetVoltage, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_controlVoltage.DA_set_voltage_Change(text);
        m_server.notifyItemChanged(QStringLiteral("DA_set_voltage"), text);
    });

    grid->addWidget(m_labelSimulation, 0, 0, 1, 2);
    grid->addWidget(m_labelVersionDate, 1, 0, 1, 2);
    grid->addWidget(m_pictureBusy, 2, 0);
    grid->addWidget(m_labelCommPort, 2, 1);
    grid->addWidget(m_pictureDde, 3, 0);
    grid->addWidget(ddeCaption, 3, 1);
    grid->addWidget(controlCaption, 4, 0, 1, 2);
    grid->addWidget(m_daSetVoltage, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
    return group;
}

void Form_R4150D::buildPanel()
{
    auto *central = new QWidget;
    central->setObjectName(QStringLiteral("Panel"));
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(4, 4, 4, 4);

    auto *topRow = new QHBoxLayout;
    topRow->addWidget(buildModuleGroup(0));
    topRow->addWidget(buildModuleGroup(3));
    topRow->addWidget(buildCurrentMonitors());
    topRow->addWidget(buildModuleGroup(5));
    topRow->addWidget(buildModuleGroup(6));
    auto *bottomRow = new QHBoxLayout;
    bottomRow->addWidget(buildStatusColumn());
    bottomRow->addWidget(buildModuleGroup(1));
    bottomRow->addWidget(buildModuleGroup(4));
    bottomRow->addWidget(buildModuleGroup(7));
    bottomRow->addWidget(buildModuleGroup(2));
    column->addLayout(topRow);
    column->addLayout(bottomRow);

    // The four images the spin controls copy from; never shown.
    const std::pair<const char *, SpinImages::Kind> sources[] = {
        {"Picture_up_dn", SpinImages::Kind::Rest},
        {"Picture_up", SpinImages::Kind::PlusPressed},
        {"Picture_Dn", SpinImages::Kind::MinusPressed},
        {"Picture_up_dn_dis", SpinImages::Kind::Disabled},
    };
    for (const auto &[name, kind] : sources) {
        auto *picture = new QLabel(central);
        picture->setObjectName(QLatin1String(name));
        picture->setPixmap(SpinImages::pixmap(kind));
        picture->hide();
    }

    // The service panel below the normal window area, uncovered in service mode.
    m_picture1 = new QLabel;
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_picture1->setTextFormat(Qt::PlainText);
    m_picture1->setAutoFillBackground(true);
    m_picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture1->setVisible(false);
    column->addWidget(m_picture1);

    setCentralWidget(central);
    setTabOrder();
}

void Form_R4150D::setTabOrder()
{
    // Through the top row, then the bottom row, left to right; spin controls take no focus.
    QList<QWidget *> order = {m_values[0], m_gains[3], m_offsets[3], m_gains[5], m_offsets[5], m_gains[6],
                              m_daSetVoltage, m_values[1], m_commandOn[1], m_commandOff[1], m_gains[4],
                              m_offsets[4], m_gains[7], m_offsets[7], m_values[2], m_commandOn[2],
                              m_commandOff[2]};
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

// ---------------------------------------------------------------------------------------------
// Load and unload

QPoint Form_R4150D::windowTopLeftTwips() const
{
    // Relative to the available area, as the placement reads it, so the window does not creep
    // by the width of a desktop panel on every start.
    const double dpi = logicalDpi(this);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->availableGeometry().topLeft() : QPoint();
    const QPoint topLeft = frameGeometry().topLeft() - origin;
    return QPoint(Twips::roundedFromPixels(topLeft.x(), dpi), Twips::roundedFromPixels(topLeft.y(), dpi));
}

QSize Form_R4150D::servicePanelSize() const
{
    // 2000 twips, or what the heading and eight rows of the table need at the user's font
    // when that is more (a fixed-pitch font is often taller than 2000 twips / 9 lines).
    const QFontMetrics metrics(m_picture1->font());
    constexpr int kTableLines = 1 + kModuleCount;
    constexpr int kTableColumns = 6 * ReadBack::kPrintZoneColumns;
    const int frame = 2 * m_picture1->frameWidth();
    const QMargins margins = m_picture1->contentsMargins();
    const int width = metrics.horizontalAdvance(QString(kTableColumns, QLatin1Char('0'))) + frame + margins.left()
                      + margins.right();
    const int height = kTableLines * metrics.lineSpacing() + frame + margins.top() + margins.bottom();
    return QSize(width, std::max(height, Twips::toPixels(kServicePanelTwips, logicalDpi(this))));
}

void Form_R4150D::Form_Load()
{
    m_state.serviceMode = toFlag(m_commandLine.service);
    if (m_state.serviceMode != 0) {
        m_picture1->setVisible(true);
        m_picture1->setMinimumSize(servicePanelSize());
    }
    // The layout takes its final size only when activated; the placement below needs it now,
    // service panel included.
    ensurePolished();
    layout()->activate();
    adjustSize();

    const double dpi = logicalDpi(this);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    IniSettings::Geometry geometry;
    geometry.screenWidth = Twips::fromPixels(available.width(), dpi);
    geometry.screenHeight = Twips::fromPixels(available.height(), dpi);
    const QSize frame = frameGeometry().size().expandedTo(sizeHint());
    geometry.windowWidth = Twips::fromPixels(frame.width(), dpi);
    geometry.windowHeight = Twips::fromPixels(frame.height(), dpi);
    const QPoint topLeft = IniSettings::GetIniSettings(m_state, m_commandLine, geometry);
    move(available.left() + Twips::toPixels(topLeft.x(), dpi), available.top() + Twips::toPixels(topLeft.y(), dpi));

    if (m_commandLine.simulation)
        m_state.simulationMode = kTrue;
    if (m_state.simulationMode != 0)
        m_labelSimulation->setVisible(true);

    if (!m_server.listen())
        qWarning("tavrel: the control link is not available: %s", qPrintable(m_server.errorString()));

    show();
    QCoreApplication::processEvents();
    if (m_unloaded)
        return;

    m_state.table.fill(m_state.powerSupply());
    if (m_connection.Init() == 0 && !m_unloaded)
        mnuSetup_Click();
    if (m_unloaded)
        return;

    if (m_mnuOpen->isEnabled()) {
        if (m_commandLine.profile)
            m_profiles.OpenZQV(*m_commandLine.profile);
        if (m_unloaded)
            return; // ended while its message was open
        m_cycle.runForced();
    }
}

void Form_R4150D::closeEvent(QCloseEvent *event)
{
    const int mode = m_pendingUnloadMode;
    m_pendingUnloadMode = ShutDownSequence::kUnloadFromFrame;
    if (m_unloaded) {
        event->accept();
        return;
    }
    const bool cancel = m_shutDown.Form_QueryUnload(mode);
    if (m_unloaded) {
        // The session ended while this request's dialog or message was open (unloadForSystem).
        event->accept();
        return;
    }
    if (cancel) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void Form_R4150D::Form_Unload()
{
    m_unloaded = true;
    m_timer.stop();
    IniSettings::WriteIniSettings(m_state, windowTopLeftTwips());
    SettingsStore::sync();
    m_link.R4150DClose();
    m_link.retire(); // a cycle interrupted by the unload must not go on talking to the line
    m_server.close();
    // Queued: a quit sent while this window is still inside its close request (or a dialog's
    // loop) is lost, and the program would linger without a window.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Form_R4150D::unloadForSystem()
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
        if (!m_unloaded && !m_shutDown.Form_QueryUnload(ShutDownSequence::kUnloadFromSystem))
            Form_Unload();
    }
    // End the modal loops that still wait (the setup dialog or a message of the load sequence,
    // a shut-down dialog): the code waiting in them returns and finds the window unloaded. The
    // load sequence runs before the application's event loop, where a quit would be lost.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows)
        if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
            dialog->reject();
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Form_R4150D::raiseWindow()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void Form_R4150D::yieldToEvents()
{
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------------------------
// Menu commands

void Form_R4150D::mnuFile_Click()
{
    m_mnuSimulation->setChecked(m_state.simulationMode != 0);
}

void Form_R4150D::mnuSimulation_Click()
{
    m_state.simulationMode = qint16(~m_state.simulationMode);
    m_mnuSimulation->setChecked(m_state.simulationMode != 0);
    m_labelSimulation->setVisible(m_state.simulationMode != 0);
}

void Form_R4150D::mnuAbout_Click()
{
    const QString crlf = QStringLiteral("\r\n");
    const QString text = QStringLiteral("Operator program for the Tavrel digital power supply") + crlf
                         + QStringLiteral("of LEED electron optics, models R4150-D and Tavrel digital.") + crlf
                         + QStringLiteral("Made by the supply's maker for use with its instruments.") + crlf
                         + QStringLiteral("It sets and reads back all eight modules of the supply") + crlf
                         + QStringLiteral("over its serial line.") + crlf + crlf + QString(11, QLatin1Char(' '))
                         + m_labelVersionDate->text();
    m_ui.messageBox(text, m_state.caption(), UserInterface::Icon::Information);
}

void Form_R4150D::mnuRefresh_Click()
{
    m_mnuAutoRefresh->setChecked(m_state.autoRefresh());
}

void Form_R4150D::mnuRefreshAll_Click()
{
    m_readBack.GetTavrelData(true);
}

void Form_R4150D::mnuAutoRefresh_Click(bool checked)
{
    // The action has inverted its check mark already; the flag follows it.
    m_state.setAutoRefresh(checked);
}

void Form_R4150D::mnuSetup_Click()
{
    if (m_setupRunner) {
        m_setupRunner();
        return;
    }
    Form_R4150DSetup dialog(m_state, m_ui, *this, this);
    QtUserInterface::execModal(dialog);
}

void Form_R4150D::mnuExit_Click()
{
    m_pendingUnloadMode = ShutDownSequence::kUnloadFromProgram;
    close();
}

void Form_R4150D::Command_On_Click(int index)
{
    setSwitchTag(index, QStringLiteral("on"));
}

void Form_R4150D::Command_Off_Click(int index)
{
    setSwitchTag(index, QStringLiteral("off"));
}

// ---------------------------------------------------------------------------------------------
// PanelAccess

EditField *Form_R4150D::editField(PanelField field) const
{
    if (!field.exists())
        return nullptr;
    switch (field.kind) {
    case PanelField::Kind::Value:
        return m_values[field.index];
    case PanelField::Kind::Gain:
        return m_gains[field.index];
    case PanelField::Kind::Offset:
        return m_offsets[field.index];
    }
    return nullptr;
}

SpinControl *Form_R4150D::spinControl(PanelField field) const
{
    if (!field.exists())
        return nullptr;
    switch (field.kind) {
    case PanelField::Kind::Value:
        return m_valueSpins[field.index];
    case PanelField::Kind::Gain:
        return m_gainSpins[field.index];
    case PanelField::Kind::Offset:
        return m_offsetSpins[field.index];
    }
    return nullptr;
}

QString Form_R4150D::fieldText(PanelField field) const
{
    const EditField *edit = editField(field);
    return edit ? edit->text() : QString();
}

void Form_R4150D::setFieldText(PanelField field, const QString &text)
{
    if (EditField *edit = editField(field))
        edit->setText(text);
}

QString Form_R4150D::fieldTag(PanelField field) const
{
    const EditField *edit = editField(field);
    return edit ? edit->tag() : QString();
}

void Form_R4150D::setFieldTag(PanelField field, const QString &tag)
{
    if (EditField *edit = editField(field))
        edit->setTag(tag);
}

bool Form_R4150D::fieldEnabled(PanelField field) const
{
    const EditField *edit = editField(field);
    return edit && edit->isEnabled();
}

QString Form_R4150D::switchTag(int module) const
{
    return (module == kCathode || module == kScreen) ? m_onOff[module]->tag() : QString();
}

void Form_R4150D::setSwitchTag(int module, const QString &tag)
{
    if (module == kCathode || module == kScreen)
        m_onOff[module]->setTag(tag);
}

// ---------------------------------------------------------------------------------------------
// ReadBackView

void Form_R4150D::setControlVoltage(const QString &text, bool echo)
{
    m_controlVoltage.setShowOnly(!echo);
    m_daSetVoltage->setText(text); // a changed text runs DA_set_voltage_Change
    m_controlVoltage.setShowOnly(false);
    m_daSetVoltage->setProperty("Tag", QString());
}

void Form_R4150D::setLabelText(QLabel *label, const QString &text)
{
    if (!label || label->text() == text)
        return;
    label->setText(text);
    m_server.notifyItemChanged(label->objectName(), text);
}

void Form_R4150D::setMonitorText(Monitor monitor, int module, const QString &text)
{
    if (module < 0 || module >= kModuleCount)
        return;
    setLabelText(monitor == Monitor::Voltage ? m_uMon[module] : m_iMon[module], text);
}

void Form_R4150D::setSwitchDisplay(int module, bool on)
{
    if (module != kCathode && module != kScreen)
        return;
    m_onOff[module]->setLit(on);
    m_valueSpins[module]->setConnectedImage(on);
}

void Form_R4150D::clearScreenBar()
{
    m_pictureScreen->clear();
}

void Form_R4150D::drawScreenBox(const QRect &corners)
{
    m_pictureScreen->drawBox(corners.topLeft(), corners.bottomRight());
}

void Form_R4150D::printServiceTable(const QStringList &lines)
{
    m_picture1->setText(lines.join(QLatin1Char('\n')));
}

// ---------------------------------------------------------------------------------------------
// ConnectionView

void Form_R4150D::setPanelConnected(bool connected)
{
    if (connected)
        m_timer.start();
    else
        m_timer.stop();
    for (QAction *action : {m_mnuOpen, m_mnuSave, m_mnuSaveAs})
        action->setEnabled(connected);
    m_mnuRefresh->setEnabled(connected);
    m_mnuRefresh->menuAction()->setEnabled(connected);
    // The items' shortcuts live on the window too: a disabled menu must not answer F5/Shift+F5.
    m_mnuRefreshAll->setEnabled(connected);
    m_mnuAutoRefresh->setEnabled(connected);
    for (const PanelField &field : kPanelFields) {
        editField(field)->setEnabled(connected);
        spinControl(field)->setConnectedImage(connected);
    }
    for (int module : {kCathode, kScreen}) {
        m_commandOn[module]->setEnabled(connected);
        m_commandOff[module]->setEnabled(connected);
    }
    m_daSetVoltage->setEnabled(connected);
}

void Form_R4150D::setAutoRefreshCheck(bool checked)
{
    m_mnuAutoRefresh->setChecked(checked);
}

// ---------------------------------------------------------------------------------------------
// ControlLinkHost

void Form_R4150D::setLinkLamp(ControlLinkHost::Lamp lamp)
{
    switch (lamp) {
    case ControlLinkHost::Lamp::Default:
        m_pictureDde->setColor(palette().color(QPalette::Button));
        break;
    case ControlLinkHost::Lamp::Open:
        m_pictureDde->setColor(kLampGreen);
        break;
    case ControlLinkHost::Lamp::Closed:
        m_pictureDde->setColor(kLampGrey);
        break;
    case ControlLinkHost::Lamp::Error:
        m_pictureDde->setColor(kLampRed);
        break;
    }
}

void Form_R4150D::setExitEnabled(bool enabled)
{
    m_mnuExit->setEnabled(enabled);
}

QString Form_R4150D::caption() const
{
    return windowTitle();
}

std::optional<QString> Form_R4150D::itemText(const QString &item) const
{
    if (item.isEmpty())
        return std::nullopt;
    const QWidget *central = centralWidget();
    if (const auto *edit = central->findChild<QLineEdit *>(item))
        return edit->text();
    static const QStringList labelPrefixes = {QStringLiteral("Label_UMon("), QStringLiteral("Label_IMon("),
                                              QStringLiteral("Label_CommPort")};
    for (const QString &prefix : labelPrefixes)
        if (item.startsWith(prefix))
            if (const auto *label = central->findChild<QLabel *>(item))
                return label->text();
    return std::nullopt;
}

bool Form_R4150D::isPokeable(const QString &item) const
{
    return !item.isEmpty() && centralWidget()->findChild<QLineEdit *>(item) != nullptr;
}

void Form_R4150D::pokeItem(const QString &item, const QString &text)
{
    if (auto *edit = centralWidget()->findChild<QLineEdit *>(item))
        edit->setText(text);
}

// ---------------------------------------------------------------------------------------------
// SetupHost and ShutDownHost

qint32 Form_R4150D::R4150DClose()
{
    return m_link.R4150DClose();
}

qint32 Form_R4150D::Init()
{
    return m_connection.Init();
}

bool Form_R4150D::exitEnabled() const
{
    return m_mnuExit->isEnabled();
}

bool Form_R4150D::connected() const
{
    return m_mnuOpen->isEnabled();
}

qint32 Form_R4150D::SetParameter(const QString &transmit)
{
    return m_protocol.SetParameter(transmit);
}

QString Form_R4150D::moduleCode(int index) const
{
    return (index >= 0 && index < kModuleCount) ? m_state.table.ModuleCode[index] : QString();
}

void Form_R4150D::showLinkLamp(SerialLink::Lamp lamp)
{
    switch (lamp) {
    case SerialLink::Lamp::Default:
        m_pictureBusy->setColor(palette().color(QPalette::Button));
        break;
    case SerialLink::Lamp::Busy:
        m_pictureBusy->setColor(kLampRed);
        break;
    case SerialLink::Lamp::Ok:
        m_pictureBusy->setColor(kLampGreen);
        break;
    case SerialLink::Lamp::TimedOut:
        m_pictureBusy->setColor(kLampOrange);
        break;
    case SerialLink::Lamp::Failed:
        m_pictureBusy->setColor(kLampGrey);
        break;
    }
}
