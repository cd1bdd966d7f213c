#include "filament/PressureInterlock.h"

#include "core/Conversions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kMsecsPerSecond = 1000.0;

QString mbar(double value)
{
    return StrOf(float(value)) + QStringLiteral(" mbar");
}
} // namespace

PressureInterlock::PressureInterlock(QObject *parent) : QObject(parent)
{
    m_staleTimer.setSingleShot(true);
    m_staleTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_staleTimer, &QTimer::timeout, this, &PressureInterlock::staleCheck);
}

void PressureInterlock::setLimit(double mbarLimit)
{
    m_limit = std::isfinite(mbarLimit) && mbarLimit > 0.0 ? mbarLimit : 0.0;
    if (m_limit == 0.0) {
        m_staleTimer.stop();
        setState(State::Off);
        return;
    }
    if (m_state == State::Off) {
        // The stale time runs from a fresh reading it arms on, otherwise from now: waiting for a
        // first reading is supervised too.
        if (m_pressure && isFresh()) {
            m_supervisedSince = m_sinceReading;
            setState(State::Armed);
        } else {
            m_supervisedSince.start();
            setState(State::Waiting);
        }
        startStaleTimer();
    }
    if (m_state == State::Armed && m_pressure && *m_pressure > m_limit)
        reportPressure(*m_pressure); // above the new limit: trips
}

void PressureInterlock::setStaleSeconds(double seconds)
{
    m_staleSeconds = std::isfinite(seconds) && seconds > 0.0 ? seconds : kDefaultStaleSeconds;
    if (m_state != State::Off)
        startStaleTimer();
}

void PressureInterlock::startStaleTimer()
{
    const double left = m_staleSeconds * kMsecsPerSecond - double(m_supervisedSince.elapsed());
    m_staleTimer.start(int(std::clamp(left, 0.0, double(std::numeric_limits<int>::max()))));
}

bool PressureInterlock::isFresh() const
{
    return m_pressure && m_sinceReading.isValid() && m_sinceReading.elapsed() < m_staleSeconds * kMsecsPerSecond;
}

void PressureInterlock::reportPressure(double value)
{
    if (!std::isfinite(value))
        return; // not a reading: the stale time keeps running
    m_pressure = value;
    m_sinceReading.start();
    m_supervisedSince = m_sinceReading;
    if (m_state == State::Off)
        return;
    startStaleTimer();
    if (value > m_limit) {
        if (m_state != State::Tripped)
            trip(QStringLiteral("pressure %1").arg(mbar(value)),
                 QStringLiteral("Interlock tripped: pressure %1 above the limit %2").arg(mbar(value), mbar(m_limit)));
        return;
    }
    if (m_state == State::Waiting)
        setState(State::Armed);
}

void PressureInterlock::staleCheck()
{
    const double left = m_staleSeconds * kMsecsPerSecond - double(m_supervisedSince.elapsed());
    if (left > 0) {
        startStaleTimer(); // a timer may come a little early (or the time is beyond one timer's reach)
        return;
    }
    if (m_state == State::Armed || m_state == State::Waiting) {
        const QString seconds = StrOf(float(m_staleSeconds));
        trip(QStringLiteral("no pressure reading for %1 s").arg(seconds),
             QStringLiteral("Interlock tripped: no pressure reading for %1 s").arg(seconds));
    }
}

void PressureInterlock::trip(const QString &reason, const QString &message)
{
    m_reason = reason;
    setState(State::Tripped);
    emit tripped(message);
}

bool PressureInterlock::canRearm() const
{
    return m_state == State::Tripped && isFresh() && *m_pressure <= m_limit;
}

bool PressureInterlock::rearm()
{
    if (!canRearm())
        return false;
    m_reason.clear();
    setState(State::Armed);
    return true;
}

QString PressureInterlock::stateText() const
{
    switch (m_state) {
    case State::Off:
        return QStringLiteral("off");
    case State::Waiting:
        return QStringLiteral("waiting");
    case State::Armed:
        return QStringLiteral("armed");
    case State::Tripped:
        return QStringLiteral("tripped ") + m_reason;
    }
    return {};
}

void PressureInterlock::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}
