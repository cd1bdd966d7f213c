#pragma once

#include "core/CommandSource.h"
#include "device/LineTask.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>

class ControllerState;
class SupplyLine;
class SimulatedSupply;

// Raises and lowers the cathode (filament) current slowly: from the value last sent to the
// target in steps of rate × 0.25 A, one V<code> command every 250 ms, the last one exactly the
// target. "Off" ramps down to 0 first and then switches off; "on" switches on and ramps up from 0.
// A new target continues from the value last sent. Off (rate 0) it takes nothing over. Each step
// is a job on the line, so it waits for a job that holds the line (an energy-ramp step between
// its VEN and its REN) and never splits one.
class FilamentRamp : public QObject
{
    Q_OBJECT
public:
    static constexpr int kStepMs = 250;
    static constexpr double kStepsPerSecond = 1000.0 / kStepMs;
    static constexpr double kResolutionAmps = 1e-5;
    static inline const QString kSection = QStringLiteral("Filament");
    static inline const QString kRateKey = QStringLiteral("RampRate");

    FilamentRamp(SupplyLine &line, ControllerState &state, SimulatedSupply &sim, QObject *parent = nullptr);

    // A/s; 0 (or anything not above 0) is off.
    void setRate(double ampsPerSecond);
    double rate() const { return m_rate; }
    bool isOn() const { return m_rate > 0.0; }

    // The value the supply reported (at connecting): where the first ramp starts.
    void setPresent(float amps);
    float lastSent() const { return m_present; }
    float target() const { return m_target; }
    bool isRunning() const { return m_timer.isActive(); }
    // What the supply reported of the filament's switch (a read-back), or what was sent last.
    void setFilamentOn(bool on) { m_filamentOn = on; }
    // The last ramp ended with an OFF the supply confirmed.
    bool switchedOff() const { return m_switchedOff; }

    // The refresh cycle's module-1 request: `switchOn` set for ON/OFF, unset for a new value.
    // True when the ramp takes it over (it is on); false leaves it to the cycle. An ON itself
    // goes out from the cycle, in its place; the ramp raises the current from 0 after it.
    bool takeRequest(std::optional<bool> switchOn, float value, CommandSource source);
    // Ramps down to 0 and switches off (the shut-down dialog's "Set Filament Off").
    void rampDownAndOff(CommandSource source);
    // Drops the rest of a ramp and switches off at once (a second close request, a termination,
    // the interlock). Sends nothing when no ramp runs and `alwaysSend` is false.
    void switchOffNow(CommandSource source, bool alwaysSend = true);
    // Drops the rest of a ramp without sending anything more (the port is lost, the program is
    // ending); the ramp reports its end.
    void abandon();

signals:
    // After each step and when a ramp starts or ends; `running` false at the end.
    void progressChanged(bool running, float lastSent, float target);
    void finished();

private:
    void startTowards(float target, bool offAtEnd, CommandSource source);
    void sendStep();
    LineTask<> step();
    // Turned off during a ramp: the target (and the OFF the ramp was heading for) at once.
    LineTask<> finishAtOnce(float target, bool offAtEnd, CommandSource source);
    LineTask<bool> sendValue(float amps, CommandSource source);
    LineTask<> sendSwitch(bool on, CommandSource source);
    // The switch-off outside any job, for what cannot wait (the program ending, the interlock);
    // it goes out as the line's next exchange.
    void sendSwitchNow(bool on);
    void noteSwitch(bool on, qint32 result);
    void finishRamp();

    SupplyLine &m_line;
    ControllerState &m_state;
    SimulatedSupply &m_sim;
    QTimer m_timer;
    double m_rate = 0.0;
    float m_present = 0.0f;
    float m_target = 0.0f;
    float m_start = 0.0f;
    int m_stepsSent = 0;
    bool m_offAtEnd = false;
    bool m_stepUnderWay = false; // one step at a time: a tick meanwhile is skipped
    bool m_filamentOn = false;
    bool m_switchedOff = false;
    CommandSource m_source = CommandSource::Panel;
};
