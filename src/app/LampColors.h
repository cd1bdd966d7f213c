#pragma once

#include "device/SerialLink.h"
#include "network/NetworkLink.h"
#include "remote/ControlLink.h"

#include <QColor>

// The colours of the status column's lamps; `rest` is the window's button colour, a lamp's
// colour when nothing is to be told.
class LampColors
{
public:
    static inline const QColor kRed{255, 0, 0};
    static inline const QColor kGreen{0, 255, 0};
    static inline const QColor kOrange{255, 128, 0};
    static inline const QColor kGrey{192, 192, 192};

    // The serial line: red while an exchange is out, green after a good one, orange after a
    // time-out, grey when the port failed.
    static QColor forLine(SerialLink::Lamp lamp, const QColor &rest);
    // The control link: green while a conversation is open, grey after the last one, red on an error.
    static QColor forControlLink(ControlLink::Lamp lamp, const QColor &rest);
    // The lab network: green when connected, orange while connecting, red when it failed.
    static QColor forNetwork(NetworkLink::State state, const QColor &rest);
};
