#pragma once

#include "core/UserInterface.h"
#include "device/SerialLink.h"

#include <QList>
#include <QMetaType>
#include <QString>

// Something the serial link told while it worked on the line's thread: a lamp or caption change,
// a reply time-out, a lost port or a message for the operator. The supply line replays them on
// the window's thread in the order they happened.
struct LineEvent
{
    enum class Kind { Lamp, PortCaption, TimedOut, PortLost, Message };

    Kind kind = Kind::Lamp;
    SerialLink::Lamp lamp = SerialLink::Lamp::Default;
    QString text;  // the caption or the message
    QString title; // the message's title
    UserInterface::Icon icon = UserInterface::Icon::None;
};

using LineEvents = QList<LineEvent>;
Q_DECLARE_METATYPE(LineEvent)
