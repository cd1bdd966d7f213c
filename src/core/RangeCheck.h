#pragma once

#include <QString>

// The check an edit field runs when the operator leaves it: a number below the lower limit
// becomes the lower limit, one above the upper limit the upper limit. A valid entry is left
// exactly as typed (correctedText is only meaningful when outOfRange is set).
struct RangeCheck
{
    bool outOfRange = false;
    QString correctedText;
    QString message; // "Valid range is <lower> ... <upper>"

    static RangeCheck of(const QString &text, float lower, float upper);
    static QString rangeMessage(float lower, float upper);
};
