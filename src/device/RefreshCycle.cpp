#include "device/RefreshCycle.h"

#include "core/Conversions.h"
#include "core/ControllerState.h"
#include "core/UserInterface.h"
#include "device/SupplyModel.h"
#include "device/ReadBack.h"
#include "device/SimulatedSupply.h"
#include "device/SupplyLine.h"

#include <QScopeGuard>

namespace {
using namespace Module;
constexpr float kVoltsPerKilovolt = 1000.0f;
} // namespace

RefreshCycle::RefreshCycle(SupplyModel &model, SupplyLine &line, ReadBack &readBack, ControllerState &state,
                           SimulatedSupply &sim, UserInterface &ui, QObject *parent)
    : QObject(parent), m_model(model), m_line(line), m_readBack(readBack), m_state(state), m_sim(sim), m_ui(ui)
{
}

void RefreshCycle::runCycle()
{
    start(false);
}

void RefreshCycle::runForced()
{
    start(true);
}

void RefreshCycle::start(bool forced)
{
    if (m_busy)
        return;
    m_busy = true;
    run(forced);
}

bool RefreshCycle::takenOver(std::optional<bool> switchOn, float value, CommandSource source)
{
    CathodeRequest request{switchOn, value, source};
    emit cathodeRequested(request);
    return request.takenOver;
}

bool RefreshCycle::lineLost() const
{
    return m_lineWasOpen && !m_line.isOpen();
}

std::optional<QString> RefreshCycle::textWithinLimits(PanelField field)
{
    RangeCheck check = m_model.checkLimits(field);
    if (!check.outOfRange)
        return m_model.fieldText(field);
    m_ui.beep();
    m_ui.messageBox(check.message, QStringLiteral("Error"), UserInterface::Icon::Critical);
    // The box let events run: the program may be ending, the mark may have been withdrawn (an
    // interlock trip) or a client may have written a new value. Only what stands now goes out.
    if (m_line.isRetired() || !m_model.isMarked(field))
        return std::nullopt;
    check = m_model.checkLimits(field);
    if (check.outOfRange)
        m_model.setFieldText(field, check.correctedText);
    return m_model.fieldText(field);
}

LineTask<bool> RefreshCycle::send(QString command, CommandSource source)
{
    // A port lost meanwhile (by a filament step, between two exchanges) takes no command: the
    // operator has been told once already.
    if (lineLost())
        co_return false;
    // Only a failure that closed the port ends the cycle, so that a lost line is reported once
    // and not once per field.
    const qint32 r = co_await m_line.command(command, source);
    co_return !m_line.isRetired() && !(r != 0 && !m_line.isOpen());
}

LineTask<> RefreshCycle::run(bool forced)
{
    const auto done = qScopeGuard([this] { m_busy = false; });
    // A forced cycle reads back unless a time-out or a lost port switches auto refresh off.
    bool switchedOff = false;
    const QMetaObject::Connection watch = QObject::connect(
        &m_state, &ControllerState::autoRefreshPropertyChanged, [&switchedOff](bool on) { switchedOff |= !on; });
    const auto unwatch = qScopeGuard([watch] { QObject::disconnect(watch); });

    const SupplyLine::Lease lease = co_await m_line.acquire();
    if (m_line.isRetired())
        co_return;
    m_lineWasOpen = m_line.isOpen();
    // "In simulation" is asked at each step: the mode may be switched while a command is out.
    const auto simulating = [this] { return m_state.simulationMode; };
    const auto &codes = m_state.table.ModuleCode;

    // Each mark is cleared before its command goes out (sent or not, it is done): a mark set
    // again while the command is on the line goes out in the next cycle.
    float energy = 0.0f;
    if (simulating())
        energy = ValOf(m_model.fieldText(PanelField::value(kEnergy)));
    const PanelField energyField = PanelField::value(kEnergy);
    if (m_model.isMarked(energyField)) {
        emit energyAboutToBeSent();
        const std::optional<QString> text = textWithinLimits(energyField);
        if (m_line.isRetired())
            co_return;
        if (text) {
            energy = ValOf(*text);
            const CommandSource source = m_model.markSource(energyField);
            m_model.clearMark(energyField);
            const QString command = QStringLiteral("V") + codes[kEnergy] + StrOf(energy);
            const bool goOn = co_await send(command, source);
            if (simulating())
                m_sim.setEnergy(energy);
            if (!goOn)
                co_return;
        }
    }

    if (!co_await sendSwitchRequest(kCathode))
        co_return;
    const PanelField cathode = PanelField::value(kCathode);
    if (m_model.isMarked(cathode)) {
        const std::optional<QString> text = textWithinLimits(cathode);
        if (m_line.isRetired())
            co_return;
        const CommandSource source = m_model.markSource(cathode);
        if (text && takenOver(std::nullopt, ValOf(*text), source)) {
            m_model.clearMark(cathode);
        } else if (text) {
            m_model.clearMark(cathode);
            const QString command = QStringLiteral("V") + codes[kCathode] + FirstCommaToPoint(StrOf(ValOf(*text)));
            const bool goOn = co_await send(command, source);
            if (simulating())
                m_sim.setCathode(ValOf(*text));
            if (!goOn)
                co_return;
        }
    }

    if (!co_await sendSwitchRequest(kScreen))
        co_return;
    const PanelField screen = PanelField::value(kScreen);
    if (m_model.isMarked(screen)) {
        const std::optional<QString> text = textWithinLimits(screen);
        if (m_line.isRetired())
            co_return;
        if (text) {
            const CommandSource source = m_model.markSource(screen);
            m_model.clearMark(screen);
            const QString command =
                QStringLiteral("V") + codes[kScreen] + FirstCommaToPoint(StrOf(ValOf(*text) * kVoltsPerKilovolt));
            const bool goOn = co_await send(command, source);
            if (simulating())
                m_sim.setScreen(ValOf(*text) * kVoltsPerKilovolt, energy);
            if (!goOn)
                co_return;
        }
    }

    for (int i = kFirstFollower; i < kModuleCount; ++i) {
        const PanelField gain = PanelField::gain(i);
        if (!co_await sendFollower(gain, energy))
            co_return;
        const PanelField offset = PanelField::offset(i);
        if (i != kSuppressor && !co_await sendFollower(offset, energy))
            co_return;
    }

    if (lineLost())
        co_return; // nothing to read from
    if (forced ? !switchedOff : m_state.autoRefresh())
        co_await m_readBack.pass(false);
}

LineTask<bool> RefreshCycle::sendFollower(PanelField field, float energy)
{
    if (!m_model.isMarked(field))
        co_return true;
    const std::optional<QString> text = textWithinLimits(field);
    if (m_line.isRetired())
        co_return false;
    if (!text)
        co_return true;
    const bool gain = field.kind == PanelField::Kind::Gain;
    const CommandSource source = m_model.markSource(field);
    m_model.clearMark(field);
    const QString command =
        (gain ? QStringLiteral("G") : QStringLiteral("O")) + m_state.table.ModuleCode[field.index] + *text;
    const bool goOn = co_await send(command, source);
    if (m_state.simulationMode) {
        if (gain)
            m_sim.setGain(field.index, ValOf(*text), energy);
        else
            m_sim.setOffset(field.index, ValOf(*text), energy);
    }
    co_return goOn;
}

LineTask<bool> RefreshCycle::sendSwitchRequest(int module)
{
    const SupplyModel::SwitchRequest request = m_model.switchRequest(module);
    if (request == SupplyModel::SwitchRequest::None)
        co_return true;
    const bool on = request == SupplyModel::SwitchRequest::On;
    const CommandSource source = m_model.switchRequestSource(module);
    m_model.clearSwitchRequest(module);
    if (module == kCathode && takenOver(on, m_model.fieldValue(PanelField::value(kCathode)), source))
        co_return true;
    const QString command =
        QStringLiteral("S") + m_state.table.ModuleCode[module] + (on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    const bool goOn = co_await send(command, source);
    if (m_state.simulationMode)
        m_sim.setSwitch(module, on);
    co_return goOn;
}
