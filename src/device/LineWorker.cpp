#include "device/LineWorker.h"

LineWorker::LineWorker()
    : m_link(m_log, this), m_protocol(m_link)
{
    connect(&m_link, &SerialLink::lampChanged, this,
            [this](SerialLink::Lamp lamp) { record(LineEvent::Kind::Lamp, lamp); });
    connect(&m_link, &SerialLink::portCaptionChanged, this,
            [this](const QString &caption) { record(LineEvent::Kind::PortCaption, {}, caption); });
    connect(&m_link, &SerialLink::replyTimedOut, this, [this] { record(LineEvent::Kind::TimedOut); });
    connect(&m_link, &SerialLink::portLost, this, [this] { record(LineEvent::Kind::PortLost); });
}

void LineWorker::beginCall(const QString &caption)
{
    m_link.setCaption(caption);
    m_inCall = true;
    ++m_calls;
}

LineEvents LineWorker::endCall()
{
    m_inCall = false;
    return m_log.take(); // with whatever happened before the call began, in order
}

void LineWorker::record(LineEvent::Kind kind, SerialLink::Lamp lamp, const QString &text)
{
    LineEvent event;
    event.kind = kind;
    event.lamp = lamp;
    event.text = text;
    m_log.append(event);
    if (m_inCall || m_flushQueued)
        return;
    // Between calls: after the handler that reported it (its message comes right after the
    // event), the window's thread is told.
    m_flushQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_flushQueued = false;
            emit eventsPending();
        },
        Qt::QueuedConnection);
}
