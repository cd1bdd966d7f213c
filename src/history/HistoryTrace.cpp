#include "history/HistoryTrace.h"

namespace {
constexpr double kMicroampsPerAmp = -1e6; // beam current shown positive, as on the panel
constexpr double kMilliampsPerAmp = 1e3;
constexpr double kKilovoltsPerVolt = 1e-3;
} // namespace

QString historyTraceLabel(HistoryTrace trace)
{
    switch (trace) {
    case HistoryTrace::EnergyMonitor:
        return QStringLiteral("Energy monitor (V)");
    case HistoryTrace::BeamCurrent:
        return QStringLiteral("Beam current (µA)");
    case HistoryTrace::CathodeCurrent:
        return QStringLiteral("Cathode current (A)");
    case HistoryTrace::AnodeCurrent:
        return QStringLiteral("Anode current (mA)");
    case HistoryTrace::ScreenVoltage:
        return QStringLiteral("Screen voltage (kV)");
    }
    return {};
}

QString historyTraceColumn(HistoryTrace trace)
{
    switch (trace) {
    case HistoryTrace::EnergyMonitor:
        return QStringLiteral("energy_monitor_V");
    case HistoryTrace::BeamCurrent:
        return QStringLiteral("beam_current_uA");
    case HistoryTrace::CathodeCurrent:
        return QStringLiteral("cathode_current_A");
    case HistoryTrace::AnodeCurrent:
        return QStringLiteral("anode_current_mA");
    case HistoryTrace::ScreenVoltage:
        return QStringLiteral("screen_voltage_kV");
    }
    return {};
}

double historyTraceValue(const MonitorSample &sample, HistoryTrace trace)
{
    using namespace Module;
    switch (trace) {
    case HistoryTrace::EnergyMonitor:
        return sample.modules[kEnergy].umon;
    case HistoryTrace::BeamCurrent:
        return sample.modules[kEnergy].imon * kMicroampsPerAmp;
    case HistoryTrace::CathodeCurrent:
        return sample.modules[kCathode].imon;
    case HistoryTrace::AnodeCurrent:
        return sample.modules[kAnode].imon * kMilliampsPerAmp;
    case HistoryTrace::ScreenVoltage:
        return sample.modules[kScreen].offset * kKilovoltsPerVolt;
    }
    return 0.0;
}
