#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The journal's queue and the thread that writes it, in the order appended. Shared by the
// Journal and the thread alone: the last of the two to let go frees it, so a thread still stuck
// in the disk at exit can be left behind. Each turn on of the journal is a session; a failed
// write ends its session (its queued lines are dropped) and leaves later sessions' lines alone.
class JournalWriter
{
public:
    // Called on the writer thread under the writer's lock: must not wait, nor call back.
    using FailureHandler = std::function<void(quint64 session, const QString &path, const QString &error)>;

    struct Outcome
    {
        int lost = 0;    // lines not written
        QString failure; // the write that failed; empty when the time ran out
    };

    // The name of the thread, as in /proc/<pid>/task/<tid>/comm.
    static constexpr const char *kThreadName = "tavrel-journal";

    // Makes the writer and starts its thread.
    static std::shared_ptr<JournalWriter> start(FailureHandler onFailure);
    ~JournalWriter();
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    // A new session: lines appended from now on belong to it; the file stays open meanwhile.
    quint64 beginSession();
    // The session is over: once what is queued is written, the file is closed.
    void endSession();
    // Queues a line unless `maxQueued` lines already wait (false). A failed session's lines are
    // dropped.
    bool append(const QString &path, const QByteArray &line, int maxQueued);
    // Whether nothing is left to write (within `timeoutMs`): written, or dropped by a failure.
    bool waitWritten(int timeoutMs);
    // The lines dropped by failures so far are reported: not to be counted at finish().
    void failureReported();
    // Takes no more lines; gives what is queued `timeoutMs` to reach the disk, then drops the
    // rest and leaves the thread behind. Called once, by the owner.
    Outcome finish(int timeoutMs);

private:
    struct Line
    {
        quint64 session;
        QString path;
        QByteArray bytes;
    };

    explicit JournalWriter(FailureHandler onFailure);
    void run();
    void fail(quint64 session, const QString &path, const QString &error);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Line> m_queue;
    FailureHandler m_onFailure;  // cleared by finish()
    quint64 m_session = 0;       // the one lines are appended to
    quint64 m_failedSession = 0; // the latest whose write failed
    bool m_recording = false;    // a session is on: keep the file open
    bool m_writing = false;      // at the disk, the lock let go
    bool m_finishing = false;
    bool m_abandoned = false;    // finish() gave up waiting
    bool m_ended = false;        // run() is done
    int m_droppedUnreported = 0;
    QString m_failure;           // the latest failure, for finish()
    std::thread m_thread;        // joined or detached by finish()
};
