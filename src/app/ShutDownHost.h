#pragma once

#include <QString>

// What the shut-down sequence needs of the main window.
class ShutDownHost
{
public:
    virtual ~ShutDownHost() = default;

    // "E&xit" is enabled, i.e. no control-link conversation is open.
    virtual bool exitEnabled() const = 0;
    // The supply is connected ("mnuOpen" enabled).
    virtual bool connected() const = 0;
    // Sends one set-command; the status is not looked at here.
    virtual qint32 SetParameter(const QString &transmit) = 0;
    virtual QString moduleCode(int index) const = 0;
};
