#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <thread>

class QLocalSocket;

// A control-link client on a thread of its own that keeps opening conversations with the
// program, advising a monitor label, requesting and now and then poking, listening for change
// notifications, and closing again: the churn of remote clients during an endurance run.
class ControlLinkChurn
{
public:
    struct Counts
    {
        long long conversations = 0;
        long long connectFailures = 0;
        long long answers = 0;
        long long changedNotes = 0;
        long long unexpected = 0;   // ERROR answers, wrong answers, answers that never came
        QStringList firstUnexpected;
    };

    static constexpr int kPokeEvery = 10;      // every tenth conversation pokes the control voltage
    static constexpr int kListenMs = 20;       // how long a conversation listens for notes
    static constexpr int kAnswerTimeoutMs = 5000;
    static constexpr int kConnectTimeoutMs = 1000;
    static constexpr int kKeptUnexpected = 5;

    explicit ControlLinkChurn(QString socketPath) : m_socketPath(std::move(socketPath)) {}
    ~ControlLinkChurn();
    ControlLinkChurn(const ControlLinkChurn &) = delete;
    ControlLinkChurn &operator=(const ControlLinkChurn &) = delete;

    void start();
    // Asks the thread to end after its current conversation; the program must keep running
    // its event loop until finished(), or the conversation waits for answers in vain.
    void requestStop() { m_stop = true; }
    bool finished() const { return m_finished; }
    // Ends the thread (requestStop, then waits for it).
    void stop();
    Counts counts() const;

private:
    void run();
    void converse(QLocalSocket &socket, long long number);
    // Sends `line` and waits for its answer, counting notes that come first.
    bool exchange(QLocalSocket &socket, const QString &line, const QString &expectedPrefix);
    void noteUnexpected(const QString &what);

    QString m_socketPath;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    mutable std::mutex m_mutex;
    Counts m_counts;
};
