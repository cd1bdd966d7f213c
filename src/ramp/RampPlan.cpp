#include "ramp/RampPlan.h"

#include "core/Conversions.h"
#include "core/ModuleTable.h"

#include <algorithm>
#include <cmath>

namespace {

double leadingNumber(const QString &text)
{
    return LeadingNumber(FirstCommaToPoint(text));
}

} // namespace

int RampPlan::count() const
{
    const double steps = std::floor(std::fabs(to - from) / step + kStepTolerance);
    return int(steps) + 1;
}

double RampPlan::energyAt(int k) const
{
    const double direction = to < from ? -1.0 : 1.0;
    const double energy = from + direction * double(k) * step;
    // The last step may overshoot `to` by a rounding residue (0.7 down to -1.1e-16 in steps of
    // 0.1): that would be an energy beyond the limits.
    return to < from ? std::max(energy, to) : std::min(energy, to);
}

QString RampPlan::wireText(double energy)
{
    return FirstCommaToPoint(StrOf(float(energy)));
}

std::optional<RampPlan> RampPlan::make(const QString &from, const QString &to, const QString &step,
                                       const QString &settleMs, const QString &dwellMs, bool handshake,
                                       const ModuleTable &limits, QString &why)
{
    RampPlan plan;
    plan.from = leadingNumber(from);
    plan.to = leadingNumber(to);
    plan.step = leadingNumber(step);
    const double settle = leadingNumber(settleMs);
    const double dwell = handshake ? 0.0 : leadingNumber(dwellMs);
    plan.handshake = handshake;
    const double lowest = limits.ValueMin[Module::kEnergy];
    const double highest = limits.ValueMax[Module::kEnergy];
    auto inLimits = [&](double e) { return std::isfinite(e) && e >= lowest && e <= highest; };
    if (!(plan.step > 0.0) || !std::isfinite(plan.step)) {
        why = QStringLiteral("the step must be greater than 0");
        return std::nullopt;
    }
    if (!inLimits(plan.from) || !inLimits(plan.to)) {
        why = QStringLiteral("the energies must lie within %1 .. %2 eV")
                  .arg(RampPlan::wireText(lowest), RampPlan::wireText(highest));
        return std::nullopt;
    }
    constexpr double kLongestWaitMs = 24.0 * 3600.0 * 1000.0;
    if (!(settle >= 0.0 && settle <= kLongestWaitMs) || !(dwell >= 0.0 && dwell <= kLongestWaitMs)) {
        why = QStringLiteral("settle and dwell times must lie within 0 .. 86400000 ms");
        return std::nullopt;
    }
    if (std::fabs(plan.to - plan.from) / plan.step + kStepTolerance >= double(kMaxSteps)) {
        why = QStringLiteral("more than %1 steps").arg(kMaxSteps);
        return std::nullopt;
    }
    plan.settleMs = int(std::lround(settle));
    plan.dwellMs = int(std::lround(dwell));
    return plan;
}
