#pragma once

class VirtualSupply;

// A supply in working order for the benchmarks: every module on, the energy at 100 eV, so
// that every read gets a full data line of six fields as in operation (a module switched off
// answers a short line and would flatter the figures).
namespace SupplyScene {

void applyTo(VirtualSupply &supply);
// Applies the scene, starts the supply and maps COM1 to its link; false when it did not start.
bool startAsCom1(VirtualSupply &supply);

} // namespace SupplyScene
