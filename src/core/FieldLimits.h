#pragma once

#include "core/ModuleTable.h"
#include "core/PanelField.h"

// The lower and upper limit and the spin step of one edit field, taken from the module table:
// set values use the Value arrays, gains the Gain arrays, offsets the Offset arrays.
struct FieldLimits
{
    float lower = 0.0f;
    float upper = 0.0f;
    float step = 0.0f;

    static FieldLimits of(PanelField field, const ModuleTable &table);
};
