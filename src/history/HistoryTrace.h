#pragma once

#include "history/MonitorSample.h"

#include <QString>

#include <array>

// The five quantities the history plots, each in the unit the panel shows it in.
enum class HistoryTrace { EnergyMonitor, BeamCurrent, CathodeCurrent, AnodeCurrent, ScreenVoltage };

constexpr int kHistoryTraceCount = 5;
constexpr std::array<HistoryTrace, kHistoryTraceCount> kHistoryTraces = {
    HistoryTrace::EnergyMonitor, HistoryTrace::BeamCurrent, HistoryTrace::CathodeCurrent,
    HistoryTrace::AnodeCurrent, HistoryTrace::ScreenVoltage};

// "Energy monitor (V)": the label of the check box and the axis.
QString historyTraceLabel(HistoryTrace trace);
// "energy_monitor_V": the CSV column.
QString historyTraceColumn(HistoryTrace trace);
double historyTraceValue(const MonitorSample &sample, HistoryTrace trace);
