#pragma once

#include "VirtualSupply.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "device/SimulatedSupply.h"
#include "device/SupplyLine.h"

// The device layer of the program in-process, exactly as the window composes it (the supply
// line on its thread, on a real pseudo-terminal), against the virtual supply; messages are
// recorded instead of shown.
class LinkRig
{
public:
    explicit LinkRig(const VirtualSupply::Options &options);
    ~LinkRig();

    // Starts the supply and opens the link to it. False (with a reason) when either fails.
    bool open(QString &why);

    VirtualSupply supply;
    RecordingUserInterface ui;
    ControllerState state;
    SimulatedSupply sim;
    SupplyLine line;
};
