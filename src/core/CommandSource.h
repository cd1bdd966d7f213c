#pragma once

#include <QString>

class ControllerState;

// Who caused a command to the supply, as the journal names it.
enum class CommandSource {
    Panel,     // typed, spin, Enter, ON/OFF
    Profile,
    Control,   // a control-link client
    Ramp,
    Shutdown,
    Readback,  // the energy echo of a full read-back
    Interlock,
    Network,   // a command from the lab network
};

QString commandSourceName(CommandSource source);

// Names the source of every command sent while it lives; the previous one returns after it.
class CommandSourceScope
{
public:
    CommandSourceScope(ControllerState &state, CommandSource source);
    ~CommandSourceScope();
    CommandSourceScope(const CommandSourceScope &) = delete;
    CommandSourceScope &operator=(const CommandSourceScope &) = delete;

private:
    ControllerState &m_state;
    CommandSource m_previous;
};
