#include "filament/FilamentCare.h"

#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "core/SettingsStore.h"
#include "core/UserInterface.h"
#include "device/ConnectionSequence.h"
#include "device/SupplyLine.h"
#include "device/ReadBack.h"
#include "device/RefreshCycle.h"
#include "filament/FilamentDialog.h"
#include "filament/FilamentRampDownDialog.h"
#include "device/SupplyModel.h"
#include "panel/ModulePanel.h"
#include "ramp/EnergyRamp.h"
#include "remote/ControlLinkServer.h"

#include <QAction>
#include <QColor>

#include <algorithm>
#include <cmath>

namespace {
const QColor kTrippedRed(255, 0, 0);
const QColor kArmedGreen(0, 255, 0);
const QColor kWaitingGrey(192, 192, 192);

QString amps(float value)
{
    return QString::number(double(value), 'f', 2);
}
} // namespace

FilamentCare::FilamentCare(const Parts &parts, QAction *filamentItem, QWidget *window)
    : QObject(window), m_parts(parts), m_window(window),
      m_ramp(parts.line, parts.state, parts.sim)
{
    m_parts.server.addExtension(&m_link);
    connect(&m_parts.cycle, &RefreshCycle::cathodeRequested, this, [this](RefreshCycle::CathodeRequest &request) {
        request.takenOver = cathodeRequest(request.switchOn, request.value, request.source);
    });
    connect(&m_ramp, &FilamentRamp::progressChanged, this, &FilamentCare::showRamp);
    connect(&m_interlock, &PressureInterlock::tripped, this, &FilamentCare::trip);
    connect(&m_interlock, &PressureInterlock::stateChanged, this, &FilamentCare::showInterlock);
    connect(filamentItem, &QAction::triggered, this, [this] {
        dialog().show();
        dialog().raise();
        dialog().activateWindow();
    });
    // The present value a first ramp starts from is what the supply reported at connecting;
    // after that, whatever was last sent for module 1, by whichever path.
    connect(&m_parts.connection, &ConnectionSequence::connectedChanged, this, [this](bool connected) {
        m_connectingPass = connected;
        if (!connected)
            m_ramp.abandon();
    });
    connect(&m_parts.readBack, &ReadBack::passRead, this, &FilamentCare::noteConnectingPass);
    connect(&m_parts.line, &SupplyLine::commandSent, this, [this](const QString &command) {
        const QString prefix = QStringLiteral("V") + m_parts.state.table.ModuleCode[Module::kCathode];
        if (!m_ramp.isRunning() && command.startsWith(prefix))
            m_ramp.setPresent(ValOf(command.mid(prefix.size())));
    });
}

void FilamentCare::loadSettings()
{
    m_ramp.setRate(LeadingNumber(SettingsStore::readText(FilamentRamp::kSection, FilamentRamp::kRateKey, QStringLiteral("0"))));
    m_interlock.setStaleSeconds(LeadingNumber(SettingsStore::readText(
        PressureInterlock::kSection, PressureInterlock::kStaleKey, QStringLiteral("10"))));
    m_interlock.setLimit(LeadingNumber(
        SettingsStore::readText(PressureInterlock::kSection, PressureInterlock::kLimitKey, QStringLiteral("0"))));
    showInterlock();
}

void FilamentCare::noteConnectingPass(const ReadBack::Readings &readings)
{
    if (!m_ramp.isRunning())
        m_ramp.setFilamentOn(readings[Module::kCathode].OnOff != 0);
    if (!m_connectingPass)
        return;
    m_connectingPass = false;
    const bool filamentOn = readings[Module::kCathode].OnOff != 0;
    m_ramp.setPresent(filamentOn ? readings[Module::kCathode].value : 0.0f);
    // Tripped before the line was up (the port chosen late): a filament found on goes off now,
    // once the connecting exchanges are over.
    if (filamentOn && m_interlock.state() == PressureInterlock::State::Tripped)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_parts.connection.isConnected() && m_interlock.state() == PressureInterlock::State::Tripped)
                    switchOffForTrip();
            },
            Qt::QueuedConnection);
}

bool FilamentCare::rampDownForShutDown()
{
    if (!m_ramp.isOn())
        return false;
    FilamentRampDownDialog progress(m_ramp, m_window);
    progress.run();
    return m_ramp.switchedOff(); // otherwise the shut-down sends the OFF itself
}

void FilamentCare::stop()
{
    m_ramp.abandon();
}

bool FilamentCare::cathodeRequest(std::optional<bool> switchOn, float value, CommandSource source)
{
    if (switchOn && *switchOn && !m_interlock.allowsFilament()) {
        m_parts.ui.beep(); // refused, and not sent
        return true;
    }
    // A ramp's target is a set value too: never beyond the module's limits (an unmarked field's
    // text is whatever was typed last).
    const float lower = m_parts.state.table.ValueMin[Module::kCathode];
    const float upper = m_parts.state.table.ValueMax[Module::kCathode];
    const float target = std::isfinite(value) && value >= lower ? std::min(value, upper) : lower;
    // An ON goes out from the cycle, in its place, inside the cycle's hold of the line.
    return m_ramp.takeRequest(switchOn, target, source) && !(switchOn && *switchOn);
}

void FilamentCare::switchOffForTrip()
{
    // At once and before anything pending: no ramp, and a pending energy stays unsent.
    m_parts.energyRamp.stop();
    m_parts.model.clearMark(PanelField::value(Module::kEnergy));
    m_parts.model.setFieldText(PanelField::value(Module::kEnergy), QStringLiteral("0"));
    m_parts.model.setControlVoltage(QStringLiteral("0"), false);
    // Not a job: the two commands are the line's very next exchanges, even inside a job that
    // holds it, and they are on the wire before whoever reported the pressure hears back.
    m_ramp.switchOffNow(CommandSource::Interlock);
    const CommandSourceScope scope(m_parts.state, CommandSource::Interlock);
    m_parts.line.send(QStringLiteral("V") + m_parts.state.table.ModuleCode[Module::kEnergy] + QStringLiteral("0"));
}

void FilamentCare::trip(const QString &message)
{
    if (m_parts.connection.isConnected())
        switchOffForTrip();
    // From the event loop: the gauge script's POKE is answered first, and its next readings are
    // not held up by the open box.
    QMetaObject::invokeMethod(
        this, [this, message] { m_parts.ui.messageBox(message, QStringLiteral("Interlock"), UserInterface::Icon::Critical); },
        Qt::QueuedConnection);
}

void FilamentCare::showRamp(bool running, float lastSent, float target)
{
    m_parts.panel.showFilamentRamp(running ? QStringLiteral("Ramp %1 \u2192 %2 A").arg(amps(lastSent), amps(target))
                                           : QString());
}

void FilamentCare::showInterlock()
{
    QColor colour = kWaitingGrey;
    if (m_interlock.state() == PressureInterlock::State::Armed)
        colour = kArmedGreen;
    else if (m_interlock.state() == PressureInterlock::State::Tripped)
        colour = kTrippedRed;
    m_parts.panel.showInterlock(m_interlock.state() != PressureInterlock::State::Off, colour, m_interlock.stateText());
}

FilamentDialog &FilamentCare::dialog()
{
    if (!m_dialog)
        m_dialog = new FilamentDialog(m_ramp, m_interlock, m_window);
    return *m_dialog;
}
