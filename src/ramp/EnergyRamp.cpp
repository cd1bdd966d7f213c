#include "ramp/EnergyRamp.h"

#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "device/ConnectionSequence.h"
#include "device/ControlVoltage.h"
#include "device/SupplyLine.h"
#include "device/ModuleReading.h"
#include "device/SupplyModel.h"
#include "device/SimulatedSupply.h"

EnergyRamp::EnergyRamp(SupplyLine &line, ControllerState &state, SupplyModel &model,
                       SimulatedSupply &sim, const ConnectionSequence &connection, QObject *parent)
    : QObject(parent), m_line(line), m_state(state), m_model(model), m_sim(sim), m_connection(connection)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // the settle time is part of the measurement
    connect(&m_timer, &QTimer::timeout, this, [this] {
        switch (m_phase) {
        case Phase::Sending:
        case Phase::Dwelling:
            m_phase = Phase::Sending;
            nextStep();
            break;
        case Phase::Settling:
            break;
        case Phase::AwaitingAck:
            finish(false); // the client did not answer in time
            break;
        case Phase::Idle:
            break;
        }
    });
}

QString EnergyRamp::start(const RampPlan &plan)
{
    if (isRunning())
        return QStringLiteral("a ramp is running");
    if (!m_connection.isConnected())
        return QStringLiteral("the supply is not connected");
    // The ramp now sets the energy: an older pending energy would otherwise stop it at once.
    m_model.clearMark(PanelField::value(Module::kEnergy));
    ++m_ramps;
    m_plan = plan;
    m_count = plan.count();
    m_stepsDone = 0;
    m_clock.start();
    m_phase = Phase::Sending;
    emit started(m_count);
    // From the event loop, so that the caller's answer (OK n) goes out before the first step.
    m_timer.start(0);
    return {};
}

void EnergyRamp::stop()
{
    if (isRunning())
        finish(false);
}

bool EnergyRamp::acknowledge(int k)
{
    if (m_phase != Phase::AwaitingAck || k != m_stepsDone)
        return false;
    m_timer.stop();
    afterStep();
    return true;
}

void EnergyRamp::wait(Phase phase, int ms)
{
    m_phase = phase;
    m_timer.start(ms);
}

void EnergyRamp::nextStep()
{
    if (m_model.isMarked(PanelField::value(Module::kEnergy))) {
        finish(false); // the operator or a client set the energy another way: it goes out next
        return;
    }
    runStep();
}

LineTask<> EnergyRamp::runStep()
{
    // A ramp stopped (and perhaps another started) while this step waited is not this one.
    const quint64 ramp = m_ramps;
    const auto stillRunning = [this, ramp](Phase phase) { return m_ramps == ramp && m_phase == phase; };
    const SupplyLine::Lease lease = co_await m_line.acquire();
    if (!stillRunning(Phase::Sending))
        co_return; // stopped while a cycle or a read-back had the line
    if (m_model.isMarked(PanelField::value(Module::kEnergy))) {
        finish(false);
        co_return;
    }
    m_energy = m_plan.energyAt(m_stepsDone);
    const QString energy = RampPlan::wireText(m_energy);
    // Shown as the step's energy, without a mark: nothing is sent twice.
    m_model.setFieldText(PanelField::value(Module::kEnergy), StrOf(float(m_energy)));
    m_model.setControlVoltage(RampPlan::wireText(m_energy / ControlVoltage::kElectronVoltsPerVolt), false);
    m_phase = Phase::Settling;
    const QString code = m_state.table.ModuleCode[Module::kEnergy];
    const QString command = QStringLiteral("V") + code + energy;
    const qint32 sent = co_await m_line.command(command, CommandSource::Ramp);
    if (!stillRunning(Phase::Settling))
        co_return; // stopped while the exchange ran
    if (m_state.simulationMode)
        m_sim.setEnergy(float(m_energy));
    if (sent != 0) {
        ++m_stepsDone;
        emit stepDone({m_stepsDone, m_energy, 0.0f, 0.0f, m_clock.elapsed(), {}, false});
        finish(false);
        co_return;
    }
    co_await m_line.pause(m_plan.settleMs);
    if (!stillRunning(Phase::Settling))
        co_return;
    ModuleReading reading;
    const qint32 r = co_await m_line.readModule(code, reading);
    if (!stillRunning(Phase::Settling))
        co_return; // stopped while the exchange ran
    ++m_stepsDone;
    emit stepDone({m_stepsDone, m_energy, reading.Umon, reading.Imon, m_clock.elapsed(), reading, r == 0});
    if (r != 0) {
        finish(false);
        co_return;
    }
    if (m_plan.handshake)
        wait(Phase::AwaitingAck, m_plan.acknowledgeTimeoutMs);
    else
        afterStep();
}

void EnergyRamp::afterStep()
{
    if (m_stepsDone >= m_count)
        finish(true); // after the last step (its acknowledgement, with the handshake)
    else
        wait(Phase::Dwelling, m_plan.handshake ? 0 : m_plan.dwellMs);
}

void EnergyRamp::finish(bool complete)
{
    m_timer.stop();
    m_phase = Phase::Idle;
    emit finished(m_stepsDone, complete);
}
