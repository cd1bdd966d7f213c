#pragma once

#include "remote/LinkExtension.h"

class MonitorHistory;

// The monitor history on the control link:
//   HISTORY <seconds>   -> SAMPLE <time> <EN Umon> <EN Imon> <CA/FI Imon> <AN Imon> <SC Offset>
//                          for each sample of that many last seconds, oldest first, then OK <n>
// Values as the supply reported them, in V and A, with a point; the time in ISO 8601 with
// milliseconds and offset. The samples are those present when the request arrived.
class HistoryLink : public LinkExtension
{
public:
    enum ErrorNumber : int { kErrorMissingArgument = 2, kErrorBadSeconds = 12 };

    explicit HistoryLink(const MonitorHistory &history);

    std::optional<LinkAnswer> handle(const void *conversation, const QString &verb, const QString &argument) override;

private:
    const MonitorHistory &m_history;
};
