#pragma once

#include "LineWait.h"
#include "VirtualSupply.h"

#include "device/ModuleReading.h"
#include "device/SupplyLine.h"

#include <QStringList>
#include <QTest>

// Long enough for a timer the program may have left running (a retry, a zero-time step) to come
// due; the probe below, not this pause, makes the supply's log complete.
constexpr int kProbeQuietMs = 100;

// What the program sent to `supply` since its log was cleared, proven complete: the event loop
// first gets `quietMs` to act on anything still due, then the program reads one module. The
// supply takes the line's commands in order and the read returns only after its echo, so every
// command sent before it is logged ahead of the probe, however slowly the supply's thread runs.
// Returns the commands before the probe's REN and clears the log.
inline QStringList commandsBeforeProbe(SupplyLine &line, VirtualSupply &supply, int quietMs = kProbeQuietMs)
{
    QTest::qWait(quietMs);
    if (!waitForLine(line))
        return {QStringLiteral("<the line did not become idle>")};
    ModuleReading reading;
    const qint32 result = line.read(QStringLiteral("EN"), reading);
    if (result != 0)
        return {QStringLiteral("<the probe's read failed: %1>").arg(result)};
    QStringList commands = supply.receivedCommands();
    if (commands.isEmpty() || commands.takeLast() != QLatin1String("REN"))
        return {QStringLiteral("<the probe's REN is not the last command>")};
    supply.clearLog();
    return commands;
}
