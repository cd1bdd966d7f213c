#include "filament/FilamentRamp.h"

#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "device/SupplyLine.h"
#include "device/SimulatedSupply.h"

#include <QScopeGuard>

#include <cmath>

FilamentRamp::FilamentRamp(SupplyLine &line, ControllerState &state, SimulatedSupply &sim, QObject *parent)
    : QObject(parent), m_line(line), m_state(state), m_sim(sim)
{
    // On the 250 ms grid: a late step does not shift the ones after it.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, &FilamentRamp::sendStep);
}

void FilamentRamp::setRate(double ampsPerSecond)
{
    m_rate = std::isfinite(ampsPerSecond) && ampsPerSecond > 0.0 ? ampsPerSecond : 0.0;
    if (!isOn() && isRunning()) {
        // Turned off during a ramp: the target goes out at once, as without ramping.
        const bool offAtEnd = m_offAtEnd;
        m_present = m_target;
        finishRamp();
        finishAtOnce(m_target, offAtEnd, m_source);
    } else if (isRunning()) {
        // A new rate goes on from the value last sent, with steps of the new size.
        m_start = m_present;
        m_stepsSent = 0;
    }
}

void FilamentRamp::setPresent(float amps)
{
    if (!isRunning() && std::isfinite(amps))
        m_present = amps;
}

bool FilamentRamp::takeRequest(std::optional<bool> switchOn, float value, CommandSource source)
{
    if (!isOn())
        return false;
    if (!std::isfinite(value))
        value = 0.0f;
    if (!switchOn) {
        // While it is going off, a new value waits for the next "on" (which ramps to the field).
        if (!(isRunning() && m_offAtEnd))
            startTowards(value, false, source);
    } else if (*switchOn) {
        if (!isRunning() && !m_filamentOn)
            m_present = 0.0f; // the supply starts the filament from nothing
        m_offAtEnd = false;
        m_filamentOn = true;
        m_switchedOff = false;
        startTowards(value, false, source);
    } else {
        startTowards(0.0f, true, source);
    }
    return true;
}

void FilamentRamp::rampDownAndOff(CommandSource source)
{
    startTowards(0.0f, true, source);
}

void FilamentRamp::startTowards(float target, bool offAtEnd, CommandSource source)
{
    m_switchedOff = false;
    m_target = target;
    m_offAtEnd = offAtEnd;
    m_source = source;
    m_start = m_present; // a new target continues from the value last sent
    m_stepsSent = 0;
    if (!isRunning()) {
        m_timer.start();
        sendStep(); // the first step as soon as the line is free; the grid starts here
    } else {
        emit progressChanged(true, m_present, m_target);
    }
}

void FilamentRamp::sendStep()
{
    if (m_stepUnderWay)
        return; // the step before still waits for the line or its answer: the grid goes on after it
    step();
}

LineTask<> FilamentRamp::step()
{
    m_stepUnderWay = true;
    const auto done = qScopeGuard([this] { m_stepUnderWay = false; });
    const SupplyLine::Lease lease = co_await m_line.acquire();
    if (!isRunning() || m_line.isRetired())
        co_return; // ended while the step waited
    const double stepAmps = m_rate / kStepsPerSecond;
    const double distance = double(m_target) - double(m_start);
    const int steps = std::max(1, int(std::ceil(std::fabs(distance) / stepAmps - 1e-9)));
    ++m_stepsSent;
    const bool last = m_stepsSent >= steps || m_present == m_target;
    // On a 10 µA grid, so that 2.1 - 3 × 0.5 goes out as 0.6 and not as 0.5999999.
    const double exact = double(m_start) + std::copysign(stepAmps * m_stepsSent, distance);
    const float next = last ? m_target : float(std::round(exact / kResolutionAmps) * kResolutionAmps);
    const CommandSource source = m_source;
    const bool sent = co_await sendValue(next, source);
    if (!isRunning())
        co_return; // switched off or abandoned while the step was out
    if (!sent) {
        // The supply does not answer: no further steps into the void, but a switch-off that
        // was asked for is still tried.
        if (m_offAtEnd)
            co_await sendSwitch(false, source);
        finishRamp();
        co_return;
    }
    if (!last) {
        emit progressChanged(true, m_present, m_target);
        co_return;
    }
    if (m_offAtEnd)
        co_await sendSwitch(false, source);
    finishRamp();
}

LineTask<> FilamentRamp::finishAtOnce(float target, bool offAtEnd, CommandSource source)
{
    const SupplyLine::Lease lease = co_await m_line.acquire();
    co_await sendValue(target, source);
    if (offAtEnd)
        co_await sendSwitch(false, source);
}

void FilamentRamp::switchOffNow(CommandSource source, bool alwaysSend)
{
    const bool wasRunning = isRunning();
    m_timer.stop();
    if (wasRunning || alwaysSend) {
        const CommandSourceScope scope(m_state, source);
        sendSwitchNow(false);
    }
    m_offAtEnd = false;
    if (wasRunning)
        finishRamp();
}

void FilamentRamp::abandon()
{
    if (isRunning())
        finishRamp();
}

LineTask<bool> FilamentRamp::sendValue(float amps, CommandSource source)
{
    m_present = amps;
    const QString command = QStringLiteral("V") + m_state.table.ModuleCode[1] + FirstCommaToPoint(StrOf(amps));
    const qint32 r = co_await m_line.command(command, source);
    if (m_state.simulationMode)
        m_sim.setCathode(amps);
    co_return r == 0;
}

namespace {
QString switchCommand(const QString &code, bool on)
{
    return QStringLiteral("S") + code + (on ? QStringLiteral("ON") : QStringLiteral("OFF"));
}
} // namespace

LineTask<> FilamentRamp::sendSwitch(bool on, CommandSource source)
{
    const QString command = switchCommand(m_state.table.ModuleCode[1], on);
    const qint32 r = co_await m_line.command(command, source);
    noteSwitch(on, r);
}

void FilamentRamp::sendSwitchNow(bool on)
{
    noteSwitch(on, m_line.send(switchCommand(m_state.table.ModuleCode[1], on)));
}

void FilamentRamp::noteSwitch(bool on, qint32 result)
{
    m_filamentOn = on;
    m_switchedOff = !on && result == 0;
    if (m_state.simulationMode)
        m_sim.setSwitch(1, on);
}

void FilamentRamp::finishRamp()
{
    m_timer.stop();
    m_offAtEnd = false;
    emit progressChanged(false, m_present, m_target);
    emit finished();
}
