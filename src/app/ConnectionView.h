#pragma once

// The panel elements that follow the connection state: the timer, the profile and refresh
// menus, every edit field, spin control and switch button, DA_set_voltage, and the check mark
// of "&Auto Refresh".
class ConnectionView
{
public:
    virtual ~ConnectionView() = default;

    virtual void setPanelConnected(bool connected) = 0;
    virtual void setAutoRefreshCheck(bool checked) = 0;
};
