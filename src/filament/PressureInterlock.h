#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// Guards the filament against a failing vacuum. A gauge script reports the pressure (mbar); with
// a limit set the interlock waits for the first reading, is armed while the last one is below the
// limit and fresh, and trips when one is above it or none came for the stale time. The stale time
// runs from the moment the limit is set, so a filament that is already on when no gauge script
// reports is not left unsupervised. A trip is reported once (`tripped`), the filament stays
// refused until the operator re-arms.
class PressureInterlock : public QObject
{
    Q_OBJECT
public:
    enum class State { Off, Waiting, Armed, Tripped };
    static inline const QString kSection = QStringLiteral("Interlock");
    static inline const QString kLimitKey = QStringLiteral("PressureLimit");
    static inline const QString kStaleKey = QStringLiteral("StaleSeconds");
    static constexpr double kDefaultStaleSeconds = 10.0;

    explicit PressureInterlock(QObject *parent = nullptr);

    // mbar; 0 (or anything not above 0) turns the interlock off.
    void setLimit(double mbar);
    double limit() const { return m_limit; }
    void setStaleSeconds(double seconds);
    double staleSeconds() const { return m_staleSeconds; }

    // A reading from the gauge: a number of mbar (an unreadable one counts as none).
    void reportPressure(double mbar);
    std::optional<double> pressure() const { return m_pressure; }
    // The last reading came within the stale time.
    bool isFresh() const;

    State state() const { return m_state; }
    QString reason() const { return m_reason; }
    // "off", "waiting", "armed", "tripped <reason>".
    QString stateText() const;
    // An "on" request for the filament may go out.
    bool allowsFilament() const { return m_state == State::Off || m_state == State::Armed; }
    // Re-arming is possible while tripped with a fresh reading below the limit.
    bool canRearm() const;
    bool rearm();

signals:
    void stateChanged(PressureInterlock::State state);
    // The filament must go off now; `message` is what the operator reads.
    void tripped(const QString &message);

private:
    void trip(const QString &reason, const QString &message);
    void setState(State state);
    void staleCheck();
    void startStaleTimer();

    double m_limit = 0.0;
    double m_staleSeconds = kDefaultStaleSeconds;
    std::optional<double> m_pressure;
    QElapsedTimer m_sinceReading;
    QElapsedTimer m_supervisedSince; // the last reading, or the arming when none came since
    QTimer m_staleTimer;
    State m_state = State::Off;
    QString m_reason;
};
