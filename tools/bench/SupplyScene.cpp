#include "SupplyScene.h"

#include "VirtualSupply.h"
#include "device/PortTable.h"

namespace {
constexpr float kEnergyEv = 100.0f;
constexpr float kFollowerGainPercent = 50.0f;
constexpr float kFollowerOffsetV = 10.0f;
constexpr float kCathodeA = 1.5f;
constexpr int kBenchPort = 1;
} // namespace

namespace SupplyScene {

void applyTo(VirtualSupply &supply)
{
    supply.updateModel([](InstrumentModel &model) {
        for (int module = 0; module < InstrumentModel::kModules; ++module) {
            model.setOn(module, true);
            model.setGain(module, kFollowerGainPercent);
            model.setOffset(module, kFollowerOffsetV);
        }
        model.setEnergy(kEnergyEv);
        model.setGain(0, 100.0f);
        model.setOffset(0, 0.0f);
        model.setSetValue(1, kCathodeA);
    });
}

bool startAsCom1(VirtualSupply &supply)
{
    applyTo(supply);
    if (!supply.start())
        return false;
    PortTable::setPath(kBenchPort, supply.devicePath());
    return true;
}

} // namespace SupplyScene
