#pragma once

#include "device/LineTask.h"
#include "device/SupplyLine.h"

#include <QTest>

// Waits until no job holds or waits for the line: what the test started has run to its end.
inline bool waitForLine(SupplyLine &line, int timeoutMs = 10000)
{
    return QTest::qWaitFor([&line] { return line.isIdle(); }, timeoutMs);
}

// The result of a job, once it has ended.
template <typename T>
T finished(LineTask<T> task, int timeoutMs = 10000)
{
    if (!QTest::qWaitFor([&task] { return task.isDone(); }, timeoutMs))
        qFatal("a job on the supply line did not end");
    return task.result();
}
