#include "journal/Journal.h"

#include "journal/JournalFile.h"
#include "journal/JournalFiles.h"

#include <QDateTime>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// What the window thread and the writer share, under `mutex`. Owned jointly, so that a writer
// still stuck in the disk at exit can be left behind safely.
struct Journal::Shared
{
    struct Line
    {
        QString path;
        QByteArray bytes;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Line> queue;
    bool writing = false;  // a line is out of the queue but not yet written
    bool stop = false;
    Journal *owner = nullptr; // told of a failure while set
};

Journal::Journal(QObject *parent) : QObject(parent), m_folder(JournalFiles::defaultFolder()) {}

Journal::~Journal()
{
    setEnabled(false);
}

QString Journal::currentPath() const
{
    return m_folder + QLatin1Char('/') + JournalFiles::fileNameFor(QDateTime::currentMSecsSinceEpoch());
}

void Journal::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled) {
        m_shared = std::make_shared<Shared>();
        m_shared->owner = this;
        std::thread(&Journal::writeLines, m_shared).detach();
    } else if (m_shared) {
        waitWritten(kExitWaitMs);
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->stop = true;
        m_shared->owner = nullptr;
        m_shared->changed.notify_all();
        m_shared.reset();
    }
    emit enabledChanged(enabled);
}

void Journal::record(qint64 msecsSinceEpoch, const QByteArray &line)
{
    if (!m_enabled)
        return;
    const QString path = m_folder + QLatin1Char('/') + JournalFiles::fileNameFor(msecsSinceEpoch);
    bool overrun = false;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        overrun = int(m_shared->queue.size()) >= kMaxQueuedLines;
        if (!overrun) {
            m_shared->queue.push_back({path, line});
            m_shared->changed.notify_all();
        }
    }
    if (overrun)
        stopAfterFailure(tr("The journal stopped: the disk does not keep up with %1.").arg(path));
}

bool Journal::waitWritten(int timeoutMs)
{
    if (!m_shared)
        return true;
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return (m_shared->queue.empty() && !m_shared->writing) || m_shared->stop;
    });
}

void Journal::stopAfterFailure(const QString &message)
{
    if (!m_enabled)
        return; // already stopped: one message
    if (m_shared) {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->queue.clear();
    }
    setEnabled(false);
    emit failed(message);
}

void Journal::writeLines(std::shared_ptr<Shared> shared)
{
    JournalFile file;
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->stop || !shared->queue.empty(); });
        if (shared->stop)
            break;
        Shared::Line line = std::move(shared->queue.front());
        shared->queue.pop_front();
        shared->writing = true;
        lock.unlock();

        const bool opened = (file.isOpen() && file.path() == line.path) || file.open(line.path); // a new day
        const bool written = opened && file.append(line.bytes);
        const QString error = file.error();

        lock.lock();
        shared->writing = false;
        if (!written) {
            shared->queue.clear();
            if (Journal *owner = shared->owner) {
                const QString message = tr("The journal stopped: cannot write %1: %2.").arg(line.path, error);
                const Shared *session = shared.get();
                QMetaObject::invokeMethod(owner, [owner, session, message] {
                    if (owner->m_shared.get() == session) // not a later session's
                        owner->stopAfterFailure(message);
                }, Qt::QueuedConnection);
            }
            shared->owner = nullptr;
            shared->stop = true;
        }
        shared->changed.notify_all();
    }
}
