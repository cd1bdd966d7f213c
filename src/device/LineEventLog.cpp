#include "device/LineEventLog.h"

#include <QMutexLocker>

void LineEventLog::append(const LineEvent &event)
{
    const QMutexLocker lock(&m_mutex);
    m_events.append(event);
}

LineEvents LineEventLog::take()
{
    const QMutexLocker lock(&m_mutex);
    return std::exchange(m_events, {});
}

void LineEventLog::showMessageBox(const QString &text, const QString &title, Icon icon)
{
    LineEvent event;
    event.kind = LineEvent::Kind::Message;
    event.text = text;
    event.title = title;
    event.icon = icon;
    append(event);
}
