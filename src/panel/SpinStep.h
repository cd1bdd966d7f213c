#pragma once

#include <QString>

// One click of a spin control on a field's text: up adds the step, down subtracts it, in single
// precision, clamped only on the side of the step. At (or past) the limit in the direction of
// the step the click only beeps and the text stays.
struct SpinStep
{
    bool beep = false;
    QString newText;

    static SpinStep of(const QString &text, bool up, float lower, float upper, float step);
};
