#include "app/ToolSet.h"

#include "app/MainMenu.h"
#include "core/ControllerState.h"
#include "core/SettingsStore.h"
#include "core/UserInterface.h"
#include "device/ConnectionSequence.h"
#include "device/SupplyLine.h"
#include "device/ReadBack.h"
#include "device/SupplyModel.h"
#include "history/MonitorHistoryWindow.h"
#include "iv/IvWindow.h"
#include "network/NetworkDialog.h"
#include "profiles/ProfileStore.h"
#include "ramp/EnergyRamp.h"
#include "ramp/EnergyRampDialog.h"

#include <QAction>
#include <QDateTime>
#include <QWidget>

namespace {
void present(QWidget &window)
{
    window.show();
    window.raise();
    window.activateWindow();
}
} // namespace

ToolSet::ToolSet(const Parts &parts, const MainMenu &menu, QWidget *window)
    : QObject(window), m_parts(parts), m_menu(menu), m_window(window),
      m_network(parts.server.grammar(), parts.model, parts.line, parts.state.table),
      m_iv(parts.ramp, m_camera, parts.model, parts.state.table)
{
    m_parts.server.addExtension(&m_historyLink);
    m_parts.server.addExtension(&m_ivLink);
    connect(&m_ivLink, &IvLink::lineForConversation, &m_parts.server, &ControlLinkServer::sendTo);
    connect(&m_ivLink, &IvLink::lineForConversation, &m_network, &NetworkLink::sendTo);
    connect(m_menu.mnuIvMeasurement, &QAction::triggered, this, [this] { present(ivWindow()); });
    connect(m_menu.mnuEnergyRamp, &QAction::triggered, this, [this] { present(rampDialog()); });
    connect(m_menu.mnuHistory, &QAction::triggered, this, [this] { present(historyWindow()); });
    connect(m_menu.mnuJournal, &QAction::triggered, this, &ToolSet::setJournal);
    connect(m_menu.mnuNetwork, &QAction::triggered, this, [this] { present(networkDialog()); });
    connect(&m_journal, &Journal::enabledChanged, m_menu.mnuJournal, &QAction::setChecked);
    connect(&m_journal, &Journal::failed, this, [this](const QString &message) {
        SettingsStore::writeText(kJournalSection, kJournalKey, QStringLiteral("0"));
        m_parts.ui.messageBox(message, QStringLiteral("Journal"), UserInterface::Icon::Critical);
    });
    observe();
}

void ToolSet::observe()
{
    connect(&m_parts.readBack, &ReadBack::passRead, this, [this](const ReadBack::Readings &readings) {
        m_history.addSample(QDateTime::currentMSecsSinceEpoch(), readings);
        m_recorder.readBack(readings, m_parts.state.table.ModuleCode);
        if (m_historyWindow)
            m_historyWindow->sampleAdded();
    });
    connect(&m_parts.ramp, &EnergyRamp::stepDone, this, &ToolSet::addRampSample);
    connect(&m_parts.ramp, &EnergyRamp::started, this, [this](int steps) { m_recorder.rampStarted(steps); });
    connect(&m_parts.ramp, &EnergyRamp::finished, this,
            [this](int stepsDone, bool complete) { m_recorder.rampEnded(stepsDone, complete); });
    connect(&m_parts.line, &SupplyLine::commandSent, this,
            [this](const QString &command, qint32 result, CommandSource source) {
                m_recorder.sent(command, result, source);
            });
    connect(&m_parts.connection, &ConnectionSequence::connectedChanged, this,
            [this](bool connected) { m_recorder.connection(connected, m_parts.line.portCaption()); });
    connect(&m_parts.profiles, &ProfileStore::loaded, this, [this](const QString &path) { m_recorder.profile(false, path); });
    connect(&m_parts.profiles, &ProfileStore::saved, this, [this](const QString &path) { m_recorder.profile(true, path); });
    connect(&m_parts.readBack, &ReadBack::passRead, &m_network, &NetworkLink::publishState);
    connect(&m_parts.model, &SupplyModel::itemChanged, &m_network, &NetworkLink::itemChanged);
    connect(&m_journal, &Journal::lineRecorded, &m_network, &NetworkLink::publishJournalLine);
    connect(&m_network, &NetworkLink::commandHandled, this,
            [this](const QString &client, const QString &line, const QString &answer) {
                m_recorder.remoteCommand(client, line, answer);
            });
    m_network.setSupplyName(m_parts.state.supplyName());
    connect(&m_parts.state, &ControllerState::captionChanged, this,
            [this] { m_network.setSupplyName(m_parts.state.supplyName()); });
    // The simulated camera's screen shows the energy the supply reports.
    connect(&m_parts.model, &SupplyModel::monitorTextChanged, this,
            [this](SupplyModel::Monitor monitor, int module, const QString &text) {
                if (monitor == SupplyModel::Monitor::Voltage && module == Module::kEnergy)
                    m_camera.setScreenEnergy(text.trimmed().toDouble());
            });
    connect(&m_iv, &IvMeasurement::started, this, [this](int steps, const QString &folder) {
        m_recorder.ivStarted(folder, steps,
                             QStringLiteral("camera=%1 exposure_us=%2 gain=%3 frames=%4 dark=%5 spots=%6")
                                 .arg(m_camera.info().name)
                                 .arg(m_camera.settings().exposureUs)
                                 .arg(m_camera.settings().gain)
                                 .arg(m_iv.framesToAverage())
                                 .arg(m_iv.hasDarkFrame() ? 1 : 0)
                                 .arg(m_iv.tracker().spots().size()));
    });
    connect(&m_iv, &IvMeasurement::finished, this, [this](int stepsDone, bool complete, const QString &error) {
        m_recorder.ivEnded(m_iv.folder(), stepsDone, complete, m_iv.framesLost(), error);
    });
    m_parts.ui.setMessageObserver(
        [this](const QString &text, const QString &title) { m_recorder.message(title, text); });
}

void ToolSet::addRampSample(const RampStep &step)
{
    if (!step.hasReading)
        return; // the step's exchange failed: nothing was read
    // Every step stays in the ramp's own lines and files; the ring keeps its day.
    if (m_sinceRampSample.isValid() && m_sinceRampSample.elapsed() < kRampSampleIntervalMs)
        return;
    m_sinceRampSample.start();
    ReadBack::Readings readings = m_parts.readBack.readings();
    readings[Module::kEnergy] = step.reading;
    m_history.addSample(QDateTime::currentMSecsSinceEpoch(), readings);
    if (m_historyWindow)
        m_historyWindow->sampleAdded();
}

void ToolSet::loadSettings()
{
    const QString enabled = SettingsStore::readText(kJournalSection, kJournalKey, QStringLiteral("0"));
    m_journal.setEnabled(enabled.trimmed() == QLatin1String("1"));
    m_network.apply(NetworkSettings::load());
    if (SettingsStore::readText(IvWindow::kSection, QStringLiteral("OpenAtStart"), QStringLiteral("0")).trimmed()
        == QLatin1String("1"))
        present(ivWindow());
}

void ToolSet::setJournal(bool on)
{
    m_journal.setEnabled(on);
    SettingsStore::writeText(kJournalSection, kJournalKey, on ? QStringLiteral("1") : QStringLiteral("0"));
}

MonitorHistoryWindow &ToolSet::historyWindow()
{
    if (!m_historyWindow)
        m_historyWindow = new MonitorHistoryWindow(m_history, m_parts.ui, m_window);
    return *m_historyWindow;
}

EnergyRampDialog &ToolSet::rampDialog()
{
    if (!m_rampDialog)
        m_rampDialog = new EnergyRampDialog(m_parts.ramp, m_parts.state.table, m_parts.ui, m_window);
    return *m_rampDialog;
}

IvWindow &ToolSet::ivWindow()
{
    if (!m_ivWindow) {
        // Real cameras come from the camera settings; the simulated one stands in until then.
        m_camera.apply(CameraSettings::load());
        m_ivWindow = new IvWindow(m_iv, m_camera, m_parts.model, m_parts.ui, m_window);
    }
    return *m_ivWindow;
}

NetworkDialog &ToolSet::networkDialog()
{
    if (!m_networkDialog)
        m_networkDialog = new NetworkDialog(m_network, m_window);
    return *m_networkDialog;
}
