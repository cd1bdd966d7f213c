#pragma once

#include <QtGlobal>

// What the setup dialog needs of the main window when a new port is applied: close the
// current link, then run the connection sequence on the port just stored in CommPort.
class SetupHost
{
public:
    virtual ~SetupHost() = default;

    // Closes the serial link (the result is not looked at by the dialog).
    virtual qint32 R4150DClose() = 0;
    // The connection sequence: -1 when the port opened, 0 when not.
    virtual qint32 Init() = 0;
};
