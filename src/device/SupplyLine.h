#pragma once

#include "core/CommandSource.h"
#include "device/LineEvent.h"
#include "device/LineTask.h"
#include "device/LineWorker.h"
#include "device/ModuleReading.h"
#include "device/SerialLink.h"

#include <QObject>
#include <QThread>

#include <deque>
#include <functional>
#include <map>
#include <memory>

class ControllerState;
class SerialPort;
class SimulatedSupply;
class UserInterface;

// The one owner of the serial line: the port, its framing and the protocol live on a thread of
// their own, and every exchange with the supply goes through here. Before a set-command goes
// out its value is held to its module's limits; in simulation mode the program's own answer
// goes out after a read command. What the link tells on its thread (lamp, caption, time-out,
// lost port, messages) comes back to the caller's thread in order.
//
// A job (a refresh cycle, a read-back, a ramp step) is a coroutine on the window's thread that
// takes the line with `co_await acquire()`, holds it across its exchanges and pauses, and gives
// it to the next job when its lease ends; no job's exchanges are split by another's. While a job
// waits for the line thread the window's thread goes on.
class SupplyLine : public QObject
{
    Q_OBJECT
public:
    using PortFactory = std::function<std::unique_ptr<SerialPort>(int)>;
    enum class Priority { Normal, Urgent }; // urgent jobs go ahead of those waiting

    // The line held by one job until the lease ends.
    class Lease
    {
    public:
        explicit Lease(SupplyLine *line) : m_line(line) {}
        Lease(Lease &&other) noexcept : m_line(std::exchange(other.m_line, nullptr)) {}
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        Lease &operator=(Lease &&) = delete;
        ~Lease()
        {
            if (m_line)
                m_line->release();
        }

    private:
        SupplyLine *m_line;
    };

    class Acquire
    {
    public:
        Acquire(SupplyLine &line, Priority priority) : m_line(line), m_priority(priority) {}
        bool await_ready();
        void await_suspend(std::coroutine_handle<> job);
        Lease await_resume() { return Lease(&m_line); }

    private:
        SupplyLine &m_line;
        Priority m_priority;
    };

    // One exchange on the line's thread; the job goes on with its result.
    class Exchange
    {
    public:
        using Work = std::function<qint32(LineWorker &, ModuleReading &)>;
        // `talksToSupply`: the busy lamp is lit while it is out (not for opening or closing).
        Exchange(SupplyLine &line, Work work, const ModuleReading &reading, bool talksToSupply = true)
            : m_line(line), m_work(std::move(work)), m_reading(reading), m_talksToSupply(talksToSupply)
        {
        }
        bool await_ready();
        void await_suspend(std::coroutine_handle<> job);
        qint32 await_resume() { return m_result; }
        const ModuleReading &reading() const { return m_reading; }

    private:
        friend class SupplyLine;
        SupplyLine &m_line;
        std::coroutine_handle<> m_job;
        Work m_work;
        ModuleReading m_reading;
        bool m_talksToSupply;
        qint32 m_result = SerialLink::kErrNotOpen;
    };

    class Pause
    {
    public:
        Pause(SupplyLine &line, int ms) : m_line(line), m_ms(ms) {}
        bool await_ready() const;
        void await_suspend(std::coroutine_handle<> job);
        void await_resume() {}

    private:
        SupplyLine &m_line;
        int m_ms;
    };

    SupplyLine(ControllerState &state, SimulatedSupply &sim, UserInterface &ui, QObject *parent = nullptr);
    ~SupplyLine() override;

    // Opens the port mapped to `commPort` (COM0 only shows its caption); false when it did not.
    // Waits for the line: for rigs that set a line up before any job runs; the program opens
    // and closes through openPort() and closePort().
    bool open(qint32 commPort);
    void close();
    // The program is ending: the port closes for good once the exchange under way has ended,
    // and every later exchange fails with kErrNotOpen without a message. Does not wait.
    void retire();

    // One set-command and its echo; 0 when accepted.
    qint32 send(const QString &command);
    // One module's read command and data line into `reading`; 0 when read.
    qint32 read(const QString &code, ModuleReading &reading);
    // Discards what waits on the line unread.
    qint32 clearInput();

    // The line for a job: `co_await acquire()` gives a lease once the jobs before it are done.
    Acquire acquire(Priority priority = Priority::Normal) { return Acquire(*this, priority); }
    // A job's set-command (the job holds the line): held to the limits, sent, `commandSent`.
    LineTask<qint32> command(QString command, CommandSource source);
    // A job's opening of the port mapped to `commPort`; true when it opened.
    LineTask<bool> openPort(qint32 commPort);
    // A job's closing of the port.
    LineTask<> closePort();
    // A job's read of one module into `reading`.
    LineTask<qint32> readModule(QString code, ModuleReading &reading);
    // A job's wait that keeps the line (a ramp step's settle time); the window's thread goes on.
    Pause pause(int ms) { return Pause(*this, ms); }
    // No job holds the line, none waits, no exchange is under way.
    bool isIdle() const { return !m_held && m_waiting.empty() && m_inFlight.empty(); }
    // A job waits behind the one that holds the line.
    bool hasWaitingJobs() const { return !m_waiting.empty(); }
    // The program is ending: the line retires, and every job still waiting or under way runs to
    // its end at once (its exchanges fail as on a closed port). Owners of jobs call it while
    // they still exist.
    void shutDown();

    bool isOpen() const { return m_open; }
    bool isRetired() const { return m_retired; }
    SerialLink::Lamp lamp() const { return m_lamp; }
    QString portCaption() const { return m_portCaption; }
    // The device path of the open port ("" when closed).
    QString devicePath() const { return m_devicePath; }

    // For tests and tools: use this port object instead of the port table's. The factory runs
    // on the line's thread.
    void setPortFactory(PortFactory factory);

signals:
    // The last job has given the line back and none waits.
    void idle();
    void lampChanged(SerialLink::Lamp lamp);
    void portCaptionChanged(const QString &caption);
    // A read found no complete line in time; the owner switches auto refresh off.
    void replyTimedOut();
    // The device failed and the port was closed.
    void portLost();
    // Every set-command after its exchange (or its refusal): the text, the status and who
    // caused it.
    void commandSent(const QString &command, qint32 result, CommandSource source);

private:
    // Runs `work` on the line's thread and waits for it; then replays what the link told.
    void onLine(const std::function<void(LineWorker &)> &work);
    void replay(const LineEvents &events);
    void release();
    void grantNext();
    void finishExchange(quint64 id, qint32 result, const ModuleReading &reading);
    // The port's state and the link's events of one call on the line's thread.
    void takeOutcome(const LineWorker::Outcome &outcome);

    ControllerState &m_state;
    SimulatedSupply &m_sim;
    UserInterface &m_ui;
    QThread m_thread;
    LineWorker *m_worker;
    bool m_open = false;
    bool m_retired = false;
    SerialLink::Lamp m_lamp = SerialLink::Lamp::Default;
    QString m_portCaption;
    QString m_devicePath;
    quint64 m_statusCall = 0; // the line thread's call whose port state is shown
    bool m_held = false;
    bool m_grantQueued = false;
    std::deque<std::coroutine_handle<>> m_waiting;
    quint64 m_nextId = 0;
    std::map<quint64, Exchange *> m_inFlight;
    std::map<quint64, std::coroutine_handle<>> m_pauses;
};
