#include "device/RefreshCycle.h"

#include "core/Conversions.h"
#include "core/ControllerState.h"
#include "core/FieldLimits.h"
#include "core/RangeCheck.h"
#include "core/UserInterface.h"
#include "device/SupplyLine.h"
#include "device/PanelView.h"
#include "device/ReadBack.h"
#include "device/SimulatedSupply.h"

namespace {
using namespace Module;
constexpr float kVoltsPerKilovolt = 1000.0f;
} // namespace

RefreshCycle::RefreshCycle(PanelView &panel, SupplyLine &line, ReadBack &readBack,
                           ControllerState &state, SimulatedSupply &sim, UserInterface &ui,
                           std::function<void()> yield)
    : m_panel(panel), m_line(line), m_readBack(readBack), m_state(state), m_sim(sim), m_ui(ui),
      m_yield(std::move(yield))
{
}

std::optional<QString> RefreshCycle::textWithinLimits(PanelField field)
{
    const FieldLimits limits = FieldLimits::of(field, m_state.table);
    RangeCheck check = RangeCheck::of(m_panel.fieldText(field), limits.lower, limits.upper);
    if (!check.outOfRange)
        return m_panel.fieldText(field);
    m_ui.beep();
    m_ui.messageBox(check.message, QStringLiteral("Error"), UserInterface::Icon::Critical);
    // The box let events run: the program may be ending, the mark may have been withdrawn (an
    // interlock trip) or a client may have written a new value. Only what stands now goes out.
    if (m_abort && m_abort()) {
        m_busy = false;
        return std::nullopt;
    }
    if (m_panel.fieldTag(field) != kTagChanged)
        return std::nullopt;
    check = RangeCheck::of(m_panel.fieldText(field), limits.lower, limits.upper);
    if (check.outOfRange)
        m_panel.setFieldText(field, check.correctedText);
    return m_panel.fieldText(field);
}

bool RefreshCycle::yieldAndContinue()
{
    m_yield();
    if (m_abort && m_abort()) {
        m_busy = false; // the program is ending: nothing more goes out
        return false;
    }
    return true;
}

void RefreshCycle::send(const QString &command, CommandSource source)
{
    // A port lost meanwhile (in a yield, by a filament step) takes no command: the operator has
    // been told once already.
    if (m_lineWasOpen && !m_line.isOpen()) {
        m_lineLost = true;
        m_busy = false;
        return;
    }
    const CommandSourceScope scope(m_state, source);
    // The mark is cleared whether the command went through or not; only a failure that closed
    // the port ends the cycle, so that a lost line is reported once and not once per field.
    if (m_line.send(command) != 0 && !m_line.isOpen()) {
        m_lineLost = true;
        m_busy = false;
    }
}

void RefreshCycle::Timer1_Timer()
{
    if (m_busy || (m_hold && m_hold()))
        return;
    m_busy = true;
    m_lineLost = false;
    m_lineWasOpen = m_line.isOpen();
    // "In simulation" is asked at each step: the mode may be switched in one of the yields.
    const auto simulating = [this] { return m_state.simulationMode != 0; };
    const auto &codes = m_state.table.ModuleCode;

    float energy = 0.0f;
    if (simulating())
        energy = ValOf(m_panel.fieldText(PanelField::value(kEnergy)));
    const PanelField energyField = PanelField::value(kEnergy);
    if (m_panel.fieldTag(energyField) == kTagChanged) {
        if (m_energyInput)
            m_energyInput();
        const std::optional<QString> text = textWithinLimits(energyField);
        if (!m_busy)
            return;
        if (text) {
            energy = ValOf(*text);
            send(QStringLiteral("V") + codes[kEnergy] + StrOf(energy), m_panel.fieldMarkSource(energyField));
            m_panel.setFieldTag(energyField, QString());
            if (simulating())
                m_sim.setEnergy(energy);
            if (m_lineLost)
                return;
        }
    }
    if (!yieldAndContinue())
        return;

    sendSwitchRequest(kCathode);
    if (m_lineLost)
        return;
    const PanelField cathode = PanelField::value(kCathode);
    if (m_panel.fieldTag(cathode) == kTagChanged) {
        const std::optional<QString> text = textWithinLimits(cathode);
        if (!m_busy)
            return;
        if (text && m_cathodeHook && m_cathodeHook(std::nullopt, ValOf(*text), m_panel.fieldMarkSource(cathode))) {
            m_panel.setFieldTag(cathode, QString());
        } else if (text) {
            send(QStringLiteral("V") + codes[kCathode] + FirstCommaToPoint(StrOf(ValOf(*text))),
                 m_panel.fieldMarkSource(cathode));
            if (simulating())
                m_sim.setCathode(ValOf(*text));
            m_panel.setFieldTag(cathode, QString());
            if (m_lineLost || !yieldAndContinue())
                return;
        }
    }

    sendSwitchRequest(kScreen);
    if (m_lineLost)
        return;
    const PanelField screen = PanelField::value(kScreen);
    if (m_panel.fieldTag(screen) == kTagChanged) {
        const std::optional<QString> text = textWithinLimits(screen);
        if (!m_busy)
            return;
        if (text) {
            send(QStringLiteral("V") + codes[kScreen] + FirstCommaToPoint(StrOf(ValOf(*text) * kVoltsPerKilovolt)),
                 m_panel.fieldMarkSource(screen));
            if (simulating())
                m_sim.setScreen(ValOf(*text) * kVoltsPerKilovolt, energy);
            m_panel.setFieldTag(screen, QString());
            if (m_lineLost || !yieldAndContinue())
                return;
        }
    }

    for (int i = kFirstFollower; i < kModuleCount; ++i) {
        if (!sendFollower(PanelField::gain(i), energy))
            return;
        if (i != kSuppressor && !sendFollower(PanelField::offset(i), energy))
            return;
    }

    if (m_lineWasOpen && !m_line.isOpen()) {
        m_busy = false; // lost in the last yield: nothing to read from
        return;
    }
    if (m_state.autoRefresh())
        m_readBack.GetTavrelData(false);
    m_busy = false;
}

bool RefreshCycle::sendFollower(PanelField field, float energy)
{
    if (m_panel.fieldTag(field) != kTagChanged)
        return true;
    const std::optional<QString> text = textWithinLimits(field);
    if (!m_busy)
        return false;
    if (!text)
        return true;
    const bool gain = field.kind == PanelField::Kind::Gain;
    send((gain ? QStringLiteral("G") : QStringLiteral("O")) + m_state.table.ModuleCode[field.index] + *text,
         m_panel.fieldMarkSource(field));
    if (m_state.simulationMode != 0) {
        if (gain)
            m_sim.setGain(field.index, ValOf(*text), energy);
        else
            m_sim.setOffset(field.index, ValOf(*text), energy);
    }
    m_panel.setFieldTag(field, QString());
    return !m_lineLost && yieldAndContinue();
}

void RefreshCycle::runForced()
{
    m_state.forceAutoRefreshDuring([this] { Timer1_Timer(); });
}

void RefreshCycle::sendSwitchRequest(int module)
{
    const QString tag = m_panel.switchTag(module);
    const CommandSource source = m_panel.switchMarkSource(module);
    if (module == kCathode && m_cathodeHook && (tag == kSwitchOn || tag == kSwitchOff)
        && m_cathodeHook(tag == kSwitchOn, ValOf(m_panel.fieldText(PanelField::value(kCathode))), source)) {
        m_panel.setSwitchTag(module, QString());
        return;
    }
    const bool simulation = m_state.simulationMode != 0;
    if (tag == kSwitchOn) {
        send(QStringLiteral("S") + m_state.table.ModuleCode[module] + QStringLiteral("ON"), source);
        m_panel.setSwitchTag(module, QString());
        if (simulation)
            m_sim.setSwitch(module, true);
    } else if (tag == kSwitchOff) {
        send(QStringLiteral("S") + m_state.table.ModuleCode[module] + QStringLiteral("OFF"), source);
        m_panel.setSwitchTag(module, QString());
        if (simulation)
            m_sim.setSwitch(module, false);
    }
}
