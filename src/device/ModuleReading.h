#pragma once

#include <QString>

// The last reply of one module; a reply that says nothing about a field leaves it as it was.
struct ModuleReading
{
    float Gain = 0.0f;
    float Offset = 0.0f;
    float value = 0.0f;
    float Umon = 0.0f;
    float Imon = 0.0f;
    qint32 OnOff = 0; // 1 on, 0 off
    QString valueText; // the value field as the reply wrote it
};
