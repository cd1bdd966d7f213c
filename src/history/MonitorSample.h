#pragma once

#include "core/ModuleTable.h"

#include <QtGlobal>

#include <array>

// One module's reading as the history keeps it.
struct HistoryReading
{
    float gain = 0.0f;
    float offset = 0.0f;
    float value = 0.0f;
    float umon = 0.0f;
    float imon = 0.0f;
    bool on = false;
};

// All eight modules at one moment (milliseconds since the epoch).
struct MonitorSample
{
    qint64 msecs = 0;
    std::array<HistoryReading, kModuleCount> modules{};
};
