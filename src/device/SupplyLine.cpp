#include "device/SupplyLine.h"

#include "core/ControllerState.h"
#include "core/UserInterface.h"
#include "device/LineWorker.h"
#include "device/SupplyModel.h"
#include "device/SimulatedSupply.h"

#include <QTimer>

SupplyLine::SupplyLine(ControllerState &state, SimulatedSupply &sim, UserInterface &ui, QObject *parent)
    : QObject(parent), m_state(state), m_sim(sim), m_ui(ui), m_worker(new LineWorker)
{
    m_thread.setObjectName(QStringLiteral("SupplyLine"));
    m_worker->moveToThread(&m_thread);
    // The port and its notifier are destroyed on their own thread, after its loop has ended.
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &LineWorker::eventsPending, this, [this] { replay(m_worker->takeEvents()); });
    m_thread.start();
}

SupplyLine::~SupplyLine()
{
    shutDown();
    m_thread.quit();
    m_thread.wait();
}

void SupplyLine::onLine(const std::function<void(LineWorker &)> &work)
{
    const QString caption = m_state.caption();
    LineWorker::Outcome outcome;
    QMetaObject::invokeMethod(
        m_worker, [&] { outcome = m_worker->call(caption, [&] { work(*m_worker); }); }, Qt::BlockingQueuedConnection);
    takeOutcome(outcome);
}

void SupplyLine::takeOutcome(const LineWorker::Outcome &outcome)
{
    // An older call's answer may arrive after a newer one's: the port's state is the newest.
    if (outcome.call >= m_statusCall) {
        m_statusCall = outcome.call;
        m_open = outcome.open;
        m_devicePath = outcome.devicePath;
    }
    replay(outcome.events);
}

void SupplyLine::replay(const LineEvents &events)
{
    for (const LineEvent &event : events) {
        switch (event.kind) {
        case LineEvent::Kind::Lamp:
            m_lamp = event.lamp;
            emit lampChanged(event.lamp);
            break;
        case LineEvent::Kind::PortCaption:
            m_portCaption = event.text;
            emit portCaptionChanged(event.text);
            break;
        case LineEvent::Kind::TimedOut:
            emit replyTimedOut();
            break;
        case LineEvent::Kind::PortLost:
            m_open = false;
            m_devicePath.clear();
            emit portLost();
            break;
        case LineEvent::Kind::Message:
            m_ui.messageBox(event.text, event.title, event.icon);
            break;
        }
    }
}

bool SupplyLine::open(qint32 commPort)
{
    bool opened = false;
    onLine([&](LineWorker &worker) { opened = worker.link().openPort(commPort); });
    return opened;
}

void SupplyLine::close()
{
    onLine([](LineWorker &worker) { worker.link().closePort(); });
}

void SupplyLine::retire()
{
    m_retired = true;
    m_open = false;
    m_devicePath.clear();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker] {
            worker->link().closePort();
            worker->link().retire();
        },
        Qt::QueuedConnection);
}

qint32 SupplyLine::send(const QString &command)
{
    qint32 r = 0;
    const std::optional<QString> refusal = SupplyModel::refusal(command, m_state.table);
    onLine([&](LineWorker &worker) {
        r = refusal ? worker.link().refuse(SerialLink::kErrBeyondLimits,
                                           QStringLiteral("%1 lies beyond the module's limits and was not sent. %2")
                                               .arg(command, *refusal))
                    : worker.protocol().sendCommand(command);
    });
    emit commandSent(command, r, m_state.commandSource());
    return r;
}

qint32 SupplyLine::read(const QString &code, ModuleReading &reading)
{
    std::optional<DeviceProtocol::SimulatedAnswer> simulated;
    if (m_state.simulationMode) {
        DeviceProtocol::SimulatedAnswer answer{QString(), reading};
        answer.line = m_sim.answer(code, answer.reading);
        simulated = answer;
    }
    qint32 r = 0;
    onLine([&](LineWorker &worker) { r = worker.protocol().readModule(code, reading, simulated); });
    return r;
}

qint32 SupplyLine::clearInput()
{
    qint32 r = 0;
    onLine([&](LineWorker &worker) { r = worker.link().clearInput(); });
    return r;
}

void SupplyLine::setPortFactory(PortFactory factory)
{
    onLine([&](LineWorker &worker) { worker.link().setPortFactory(std::move(factory)); });
}

bool SupplyLine::Acquire::await_ready()
{
    if (m_line.m_held || !m_line.m_waiting.empty())
        return false;
    m_line.m_held = true;
    return true;
}

void SupplyLine::Acquire::await_suspend(std::coroutine_handle<> job)
{
    if (m_priority == Priority::Urgent)
        m_line.m_waiting.push_front(job);
    else
        m_line.m_waiting.push_back(job);
}

void SupplyLine::release()
{
    m_held = false;
    if (m_waiting.empty()) {
        emit idle();
        return;
    }
    // From the event loop: the job that gave the line back ends first.
    if (!m_grantQueued) {
        m_grantQueued = true;
        QMetaObject::invokeMethod(this, &SupplyLine::grantNext, Qt::QueuedConnection);
    }
}

void SupplyLine::grantNext()
{
    m_grantQueued = false;
    if (m_held || m_waiting.empty())
        return;
    const std::coroutine_handle<> job = m_waiting.front();
    m_waiting.pop_front();
    m_held = true;
    job.resume();
}

bool SupplyLine::Exchange::await_ready()
{
    return m_line.m_retired; // as on a closed port, without a message
}

void SupplyLine::Exchange::await_suspend(std::coroutine_handle<> job)
{
    m_job = job;
    SupplyLine *line = &m_line;
    LineWorker *worker = line->m_worker;
    const quint64 id = ++line->m_nextId;
    line->m_inFlight.emplace(id, this);
    // The busy lamp is lit while the exchange is out; the link's own changes follow with it.
    if (m_talksToSupply && line->m_lamp != SerialLink::Lamp::Busy) {
        line->m_lamp = SerialLink::Lamp::Busy;
        emit line->lampChanged(SerialLink::Lamp::Busy);
    }
    const QString caption = line->m_state.caption();
    QMetaObject::invokeMethod(
        worker,
        [line, worker, work = m_work, reading = m_reading, caption, id]() mutable {
            qint32 result = 0;
            const LineWorker::Outcome outcome = worker->call(caption, [&] { result = work(*worker, reading); });
            QMetaObject::invokeMethod(
                line,
                [line, id, result, reading, outcome] {
                    line->takeOutcome(outcome);
                    line->finishExchange(id, result, reading);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void SupplyLine::finishExchange(quint64 id, qint32 result, const ModuleReading &reading)
{
    const auto found = m_inFlight.find(id);
    if (found == m_inFlight.end())
        return; // ended by the shut-down
    Exchange *exchange = found->second;
    m_inFlight.erase(found);
    exchange->m_result = result;
    exchange->m_reading = reading;
    exchange->m_job.resume();
}

bool SupplyLine::Pause::await_ready() const
{
    return m_line.m_retired || m_ms <= 0;
}

void SupplyLine::Pause::await_suspend(std::coroutine_handle<> job)
{
    SupplyLine *line = &m_line;
    const quint64 id = ++line->m_nextId;
    line->m_pauses.emplace(id, job);
    QTimer::singleShot(m_ms, Qt::PreciseTimer, line, [line, id] {
        const auto found = line->m_pauses.find(id);
        if (found == line->m_pauses.end())
            return;
        const std::coroutine_handle<> waiting = found->second;
        line->m_pauses.erase(found);
        waiting.resume();
    });
}

LineTask<qint32> SupplyLine::command(QString command, CommandSource source)
{
    const std::optional<QString> refusal = SupplyModel::refusal(command, m_state.table);
    // Named, not temporaries of the co_await expression: this compiler mishandles those.
    const Exchange::Work work = [command, refusal](LineWorker &worker, ModuleReading &) {
        return refusal ? worker.link().refuse(SerialLink::kErrBeyondLimits,
                                              QStringLiteral("%1 lies beyond the module's limits and was not sent. %2")
                                                  .arg(command, *refusal))
                       : worker.protocol().sendCommand(command);
    };
    Exchange exchange(*this, work, ModuleReading());
    const qint32 r = co_await exchange;
    emit commandSent(command, r, source);
    co_return r;
}

LineTask<bool> SupplyLine::openPort(qint32 commPort)
{
    const Exchange::Work work = [commPort](LineWorker &worker, ModuleReading &) {
        return worker.link().openPort(commPort) ? qint32(0) : SerialLink::kErrNotOpen;
    };
    Exchange exchange(*this, work, ModuleReading(), false);
    const qint32 r = co_await exchange;
    co_return r == 0;
}

LineTask<> SupplyLine::closePort()
{
    const Exchange::Work work = [](LineWorker &worker, ModuleReading &) {
        worker.link().closePort();
        return qint32(0);
    };
    Exchange exchange(*this, work, ModuleReading(), false);
    co_await exchange;
}

LineTask<qint32> SupplyLine::readModule(QString code, ModuleReading &reading)
{
    std::optional<DeviceProtocol::SimulatedAnswer> simulated;
    if (m_state.simulationMode) {
        DeviceProtocol::SimulatedAnswer answer{QString(), reading};
        answer.line = m_sim.answer(code, answer.reading);
        simulated = answer;
    }
    const Exchange::Work work = [code, simulated](LineWorker &worker, ModuleReading &read) {
        return worker.protocol().readModule(code, read, simulated);
    };
    Exchange exchange(*this, work, reading);
    const qint32 r = co_await exchange;
    reading = exchange.reading();
    co_return r;
}

void SupplyLine::shutDown()
{
    if (!m_retired)
        retire(); // what the line thread still runs finds no job waiting for it
    // Every await is over at once now: each job runs to its end, and a waiting one follows.
    for (;;) {
        if (!m_inFlight.empty()) {
            Exchange *exchange = m_inFlight.begin()->second;
            m_inFlight.erase(m_inFlight.begin());
            exchange->m_result = SerialLink::kErrNotOpen;
            exchange->m_job.resume();
        } else if (!m_pauses.empty()) {
            const std::coroutine_handle<> waiting = m_pauses.begin()->second;
            m_pauses.erase(m_pauses.begin());
            waiting.resume();
        } else if (!m_held && !m_waiting.empty()) {
            grantNext();
        } else {
            break;
        }
    }
}
