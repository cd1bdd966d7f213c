#pragma once

#include <QString>

#include <optional>

struct ModuleTable;

// An energy ramp for an I(V) measurement: from E1 to E2 (eV, either direction) in steps of S eV,
// each step settled for T ms and then held for D ms, or, with the handshake, until the client
// acknowledges it. Numbers are kept in double precision, so 50 -> 50.3 in steps of 0.1 has four
// steps.
struct RampPlan
{
    static constexpr int kMaxSteps = 100000;
    static constexpr double kStepTolerance = 1e-6; // of a step, against rounding at the last one

    double from = 0.0;
    double to = 0.0;
    double step = 1.0;
    int settleMs = 0;
    int dwellMs = 0;
    bool handshake = false;
    // How long a step waits for its acknowledgement before the ramp stops.
    int acknowledgeTimeoutMs = 60000;

    // floor(|E2 - E1| / S + 1e-6) + 1
    int count() const;
    // The energy of step k (0 .. count() - 1): E1 + k * S towards E2.
    double energyAt(int k) const;
    // The energy as it goes out in VEN: StrOf, always with a point.
    static QString wireText(double energy);

    // Reads the numbers with the leading-number rule (a comma is fine) in double precision.
    // A plan that cannot run gives the reason in `why`: S <= 0, an end outside the energy
    // limits, a negative time, or more than kMaxSteps steps.
    static std::optional<RampPlan> make(const QString &from, const QString &to, const QString &step,
                                        const QString &settleMs, const QString &dwellMs, bool handshake,
                                        const ModuleTable &limits, QString &why);
};
