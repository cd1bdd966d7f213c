#include "journal/JournalWriter.h"

#include "journal/JournalFile.h"

#include <algorithm>
#include <chrono>

#include <pthread.h>

std::shared_ptr<JournalWriter> JournalWriter::start(FailureHandler onFailure)
{
    std::shared_ptr<JournalWriter> writer(new JournalWriter(std::move(onFailure)));
    writer->m_thread = std::thread([writer] { writer->run(); });
    return writer;
}

JournalWriter::JournalWriter(FailureHandler onFailure) : m_onFailure(std::move(onFailure)) {}

JournalWriter::~JournalWriter() = default;

quint64 JournalWriter::beginSession()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recording = true;
    return ++m_session;
}

void JournalWriter::endSession()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recording = false;
    m_changed.notify_all();
}

bool JournalWriter::append(const QString &path, const QByteArray &line, int maxQueued)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_session == m_failedSession) {
        ++m_droppedUnreported; // recorded before the failure's news reached the journal
        return true;
    }
    if (int(m_queue.size()) >= maxQueued)
        return false;
    m_queue.push_back({m_session, path, line});
    m_changed.notify_all();
    return true;
}

bool JournalWriter::waitWritten(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_queue.empty() && !m_writing; });
}

void JournalWriter::failureReported()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_droppedUnreported = 0;
}

JournalWriter::Outcome JournalWriter::finish(int timeoutMs)
{
    Outcome outcome;
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_finishing = true;
        m_recording = false;
        m_onFailure = nullptr; // its receiver is going
        m_changed.notify_all();
        ended = m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_ended; });
        if (!ended) {
            m_abandoned = true;
            outcome.lost = int(m_queue.size()) + (m_writing ? 1 : 0);
            m_queue.clear();
        }
        if (m_droppedUnreported > 0) {
            outcome.lost += m_droppedUnreported;
            outcome.failure = m_failure;
        }
    }
    if (ended)
        m_thread.join();
    else
        m_thread.detach(); // stuck in the disk: it lets go of this when it returns
    return outcome;
}

void JournalWriter::run()
{
    ::pthread_setname_np(::pthread_self(), kThreadName);
    JournalFile file;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return !m_queue.empty() || m_finishing || (!m_recording && file.isOpen()); });
        if (m_abandoned)
            break;
        if (m_queue.empty()) { // all written and the session over: let go of the file
            m_writing = true;
            lock.unlock();
            file.close();
            lock.lock();
            m_writing = false;
            m_changed.notify_all();
            if (m_finishing)
                break;
            continue;
        }
        Line line = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();

        const bool opened = (file.isOpen() && file.path() == line.path) || file.open(line.path); // a new day
        const bool written = opened && file.append(line.bytes);

        lock.lock();
        m_writing = false;
        if (!written)
            fail(line.session, line.path, file.error());
        m_changed.notify_all();
    }
    m_ended = true;
    m_changed.notify_all();
}

void JournalWriter::fail(quint64 session, const QString &path, const QString &error)
{
    int dropped = 1; // the line that failed
    while (!m_queue.empty() && m_queue.front().session == session) {
        m_queue.pop_front();
        ++dropped;
    }
    m_droppedUnreported += dropped;
    m_failedSession = std::max(m_failedSession, session);
    m_failure = QStringLiteral("cannot write %1: %2").arg(path, error);
    if (m_onFailure)
        m_onFailure(session, path, error);
}
