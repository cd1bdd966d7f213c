#include "device/ControlVoltage.h"

#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "device/SupplyLine.h"
#include "device/SupplyModel.h"
#include "device/SimulatedSupply.h"


ControlVoltage::ControlVoltage(SupplyModel &model, SupplyLine &line, ControllerState &state,
                               SimulatedSupply &sim)
    : m_model(model), m_line(line), m_state(state), m_sim(sim)
{
}

void ControlVoltage::apply(const QString &text)
{
    const PanelField energyField = PanelField::value(0);
    if (!m_model.isEditable())
        return;
    const float electronVolts = ValOf(text) * kElectronVoltsPerVolt;
    // Beyond the energy limits (infinite included) nothing is written and nothing goes out; the
    // control link refuses such a poke before it gets here.
    if (!(electronVolts >= m_state.table.ValueMin[0] && electronVolts <= m_state.table.ValueMax[0]))
        return;
    const QString energy = StrOf(electronVolts);
    m_model.setFieldText(energyField, energy);
    m_model.clearMark(energyField);
    if (m_state.simulationMode)
        m_sim.setControlEnergy(ValOf(energy));
    const QString command = QStringLiteral("V") + m_state.table.ModuleCode[0] + energy;
    send(command, m_state.commandSource());
}

LineTask<> ControlVoltage::send(QString command, CommandSource source)
{
    const SupplyLine::Lease lease = co_await m_line.acquire(SupplyLine::Priority::Urgent);
    co_await m_line.command(command, source);
}
