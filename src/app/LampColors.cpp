#include "app/LampColors.h"

QColor LampColors::forLine(SerialLink::Lamp lamp, const QColor &rest)
{
    switch (lamp) {
    case SerialLink::Lamp::Default:
        return rest;
    case SerialLink::Lamp::Busy:
        return kRed;
    case SerialLink::Lamp::Ok:
        return kGreen;
    case SerialLink::Lamp::TimedOut:
        return kOrange;
    case SerialLink::Lamp::Failed:
        return kGrey;
    }
    return rest;
}

QColor LampColors::forControlLink(ControlLink::Lamp lamp, const QColor &rest)
{
    switch (lamp) {
    case ControlLink::Lamp::Default:
        return rest;
    case ControlLink::Lamp::Open:
        return kGreen;
    case ControlLink::Lamp::Closed:
        return kGrey;
    case ControlLink::Lamp::Error:
        return kRed;
    }
    return rest;
}

QColor LampColors::forNetwork(NetworkLink::State state, const QColor &rest)
{
    switch (state) {
    case NetworkLink::State::Off:
        return rest;
    case NetworkLink::State::Connecting:
        return kOrange;
    case NetworkLink::State::Connected:
        return kGreen;
    case NetworkLink::State::Failed:
        return kRed;
    }
    return rest;
}
