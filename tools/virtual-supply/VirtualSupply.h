#pragma once

#include "CommandFramer.h"
#include "SupplyTerminal.h"
#include "ReplyComposer.h"
#include "SupplyFaults.h"
#include "InstrumentModel.h"
#include "WirePacer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// The supply on a pseudo-terminal, served by a thread of its own so that it keeps answering
// while the program under test blocks its thread waiting for a reply. The getters, the log and
// the fault and model setters may be called from any thread; start, stop and reopen belong to
// the thread that owns the object.
class VirtualSupply
{
public:
    struct Options
    {
        int model = InstrumentModel::kModelR4150;  // 0 "CA" supply, 1 "FI" supply
        bool prompt = false;                   // ">" in front of every echo
        int baud = 0;                          // pace the line like this baud; 0 = flat out
        bool errorReplies = false;             // "ERR" after the echo of a command not understood
        float monitorNoise = 0.0f;             // relative noise on the monitored voltages
        quint32 seed = 1;                      // for garbage and noise, so runs repeat
        bool keepLog = true;                   // keep received commands and bytes for tests
        SupplyFaults faults;
    };

    VirtualSupply();
    explicit VirtualSupply(Options options);
    ~VirtualSupply();
    VirtualSupply(const VirtualSupply &) = delete;
    VirtualSupply &operator=(const VirtualSupply &) = delete;

    // Creates the terminal (and the link at `linkPath`, if given) and starts serving it.
    bool start(const QString &linkPath = {});
    // Stops serving, closes the terminal and removes the link.
    void stop();
    // After a hang-up: a new terminal at the same link path, the model state kept, the line
    // counters of the faults restarted.
    bool reopen();

    bool isRunning() const;
    bool hasHungUp() const;
    bool waitForHangup(int timeoutMs) const;
    QString errorString() const;

    // The link path when one was given, otherwise the slave's path (/dev/pts/N).
    QString devicePath() const;
    QString slavePath() const;

    // Every command line received, in order, without its line end.
    QStringList receivedCommands() const;
    QByteArray receivedBytes() const;
    QByteArray sentBytes() const;
    void clearLog();
    // Waits until at least `count` commands have been received since the last clearLog.
    bool waitForCommands(int count, int timeoutMs) const;
    // Waits until every reply line queued so far has been written to the terminal.
    bool waitForRepliesSent(int timeoutMs) const;

    // Changing silentAfter or hangupAfter restarts the count of lines sent.
    void setFaults(const SupplyFaults &faults);
    SupplyFaults faults() const;
    void setPrompt(bool prompt);

    InstrumentModel model() const;
    void setModel(const InstrumentModel &model);
    // Runs `change` on the live model under the supply's lock.
    void updateModel(const std::function<void(InstrumentModel &)> &change);

private:
    using Clock = WirePacer::Clock;
    struct Chunk
    {
        QByteArray bytes;
        int written = 0;
        bool isLine = false;
        bool started = false;
        Clock::time_point notBefore;
    };

    void run();
    void wake();
    void readMaster(Clock::time_point now);
    void handleCommand(const QByteArray &line, Clock::time_point arrived);
    void refillRunaway(Clock::time_point now);
    void writeDue(Clock::time_point now);
    bool pollOnce(Clock::time_point now);
    void hangUp();
    void closeWakePipe();

    Options m_options;
    SupplyTerminal m_pty;
    QString m_linkPath;

    // Only the serving thread touches these while it runs.
    CommandFramer m_framer;
    WirePacer m_pacer;
    std::deque<Chunk> m_output;
    bool m_writeBlocked = false;
    Clock::time_point m_masterIdleUntil{};
    Clock::time_point m_nextRunaway{};
    Clock::time_point m_lastWrite{};
    bool m_hangupPending = false;
    Clock::time_point m_hangupDeadline{};

    // Shared with the callers, under m_mutex.
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    InstrumentModel m_model;
    SupplyFaults m_faults;
    ReplyComposer m_composer;
    QStringList m_commands;
    QByteArray m_received;
    QByteArray m_sent;
    int m_linesQueued = 0;
    int m_linesSent = 0;
    bool m_runawayActive = false;
    bool m_hungUp = false;
    QString m_slavePath;
    QString m_error;

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    int m_wakeRead = -1;
    std::atomic<int> m_wakeWrite{-1};
};
