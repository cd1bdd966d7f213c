#include "core/CommandSource.h"

#include "core/ControllerState.h"

QString commandSourceName(CommandSource source)
{
    switch (source) {
    case CommandSource::Panel:
        return QStringLiteral("panel");
    case CommandSource::Profile:
        return QStringLiteral("profile");
    case CommandSource::Control:
        return QStringLiteral("control");
    case CommandSource::Ramp:
        return QStringLiteral("ramp");
    case CommandSource::Shutdown:
        return QStringLiteral("shutdown");
    case CommandSource::Readback:
        return QStringLiteral("readback");
    case CommandSource::Interlock:
        return QStringLiteral("interlock");
    case CommandSource::Network:
        return QStringLiteral("network");
    }
    return QStringLiteral("panel");
}

CommandSourceScope::CommandSourceScope(ControllerState &state, CommandSource source)
    : m_state(state), m_previous(state.commandSource())
{
    m_state.setCommandSource(source);
}

CommandSourceScope::~CommandSourceScope()
{
    m_state.setCommandSource(m_previous);
}
