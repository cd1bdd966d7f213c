#pragma once

#include "LineWait.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "device/ConnectionSequence.h"
#include "device/ReadBack.h"
#include "device/SimulatedSupply.h"
#include "device/SupplyLine.h"
#include "device/SupplyModel.h"

// The device layer without a window: a real serial link, the protocol, the read-back and the
// connection sequence over the supply's model. The port is whatever the port table maps.
struct DeviceRig
{
    explicit DeviceRig(ControllerState &state)
        : state(state), line(state, sim, ui), model(state.table), readBack(line, state, model), connection(line, state, readBack)
    {
    }
    // Jobs still under way end now, while the read-back they run in still exists.
    ~DeviceRig() { line.shutDown(); }

    ControllerState &state;
    RecordingUserInterface ui;
    SimulatedSupply sim;
    SupplyLine line;
    SupplyModel model;
    ReadBack readBack;
    ConnectionSequence connection;
};
