#pragma once

#include "core/ModuleTable.h"

#include <QtGlobal>

#include <array>

// The model of the supply that simulation mode answers read commands from. All zero at start,
// never reset.
struct SimulatedState
{
    std::array<qint16, kModuleCount> SimSwitch{}; // 0 on, 1 off
    std::array<float, kModuleCount> SimGain{};
    std::array<float, kModuleCount> SimOffset{};
    std::array<float, kModuleCount> SimValue{};
    std::array<float, kModuleCount> SimUMon{};
    std::array<float, kModuleCount> SimIMon{};
};
