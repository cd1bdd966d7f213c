#pragma once

#include "device/LineTask.h"
#include "device/ModuleReading.h"
#include "ramp/RampPlan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class ConnectionSequence;
class ControllerState;
class SupplyLine;
class SupplyModel;
class SimulatedSupply;

// One step of a ramp as published: k from 1, the energy sent, the energy module's voltage
// monitor (V) and beam current (A) as read, and the time since the ramp started.
struct RampStep
{
    int k = 0;
    double energy = 0.0;
    float umon = 0.0f;
    float imon = 0.0f;
    qint64 ms = 0;
    ModuleReading reading; // the energy module as the step's read returned it
    bool hasReading = false; // false when the step's exchange failed
};

// Runs an energy ramp: each step is one job on the supply line that sends VEN<E>, waits the
// settle time holding the line, reads the energy module (REN) and publishes the step; then the
// ramp waits the dwell time or, with the handshake, for acknowledge(k). Nothing else talks to
// the line between a step's VEN and its REN; the panel shows each step's energy without a mark.
// A failed exchange publishes its step and ends the ramp.
class EnergyRamp : public QObject
{
    Q_OBJECT
public:

    EnergyRamp(SupplyLine &line, ControllerState &state, SupplyModel &model, SimulatedSupply &sim,
               const ConnectionSequence &connection, QObject *parent = nullptr);

    // Starts the ramp; empty when it runs, else why it was refused (not connected, running).
    QString start(const RampPlan &plan);
    // Ends a running ramp at its current step; nothing when idle.
    void stop();
    // Acknowledges step k (handshake); false when step k is not awaited.
    bool acknowledge(int k);

    bool isRunning() const { return m_phase != Phase::Idle; }
    // Between a step's VEN and its REN: the settle time holds exactly.
    bool isSettling() const { return m_phase == Phase::Settling; }
    bool awaitsAcknowledgement() const { return m_phase == Phase::AwaitingAck; }
    int stepsDone() const { return m_stepsDone; }
    int stepCount() const { return m_count; }
    const RampPlan &plan() const { return m_plan; }

signals:
    void started(int steps);
    void stepDone(const RampStep &step);
    void finished(int stepsDone, bool complete);

private:
    enum class Phase { Idle, Sending, Settling, Dwelling, AwaitingAck };

    void nextStep();
    LineTask<> runStep();
    void afterStep();
    void finish(bool complete);
    void wait(Phase phase, int ms);

    SupplyLine &m_line;
    ControllerState &m_state;
    SupplyModel &m_model;
    SimulatedSupply &m_sim;
    const ConnectionSequence &m_connection;
    QTimer m_timer;
    QElapsedTimer m_clock;
    RampPlan m_plan;
    Phase m_phase = Phase::Idle;
    quint64 m_ramps = 0; // ramps started, so that a step knows its own
    int m_count = 0;
    int m_stepsDone = 0;
    double m_energy = 0.0;
};
