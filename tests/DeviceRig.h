#pragma once

#include "StringPanel.h"

#include "core/ControllerState.h"
#include "core/RecordingUserInterface.h"
#include "device/ConnectionSequence.h"
#include "device/DeviceProtocol.h"
#include "device/ReadBack.h"
#include "device/SerialLink.h"
#include "device/SimulatedSupply.h"

// The device layer without a window: a real serial link, the protocol, the read-back and the
// connection sequence over a plain-string panel. The port is whatever the port table maps.
struct DeviceRig
{
    explicit DeviceRig(ControllerState &state)
        : state(state), link(ui, [&state] { return state.caption(); }), protocol(link, state, sim),
          readBack(protocol, state, panel, {}), connection(link, state, readBack)
    {
    }

    ControllerState &state;
    RecordingUserInterface ui;
    SerialLink link;
    SimulatedSupply sim;
    DeviceProtocol protocol;
    StringPanel panel;
    ReadBack readBack;
    ConnectionSequence connection;
};
