#pragma once

#include "StringPanel.h"
#include "LineWait.h"

#include "core/ControllerState.h"
#include "core/RecordingUserInterface.h"
#include "device/ConnectionSequence.h"
#include "device/ReadBack.h"
#include "device/SimulatedSupply.h"
#include "device/SupplyLine.h"

// The device layer without a window: a real serial link, the protocol, the read-back and the
// connection sequence over a plain-string panel. The port is whatever the port table maps.
struct DeviceRig
{
    explicit DeviceRig(ControllerState &state)
        : state(state), line(state, sim, ui), readBack(line, state, panel), connection(line, state, readBack)
    {
    }

    ControllerState &state;
    RecordingUserInterface ui;
    SimulatedSupply sim;
    SupplyLine line;
    StringPanel panel;
    ReadBack readBack;
    ConnectionSequence connection;
};
