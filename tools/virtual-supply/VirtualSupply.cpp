#include "VirtualSupply.h"

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr int kReadBlock = 4096;
// How long the master is left alone after EIO (no slave open) before reading again.
constexpr auto kIdleRetry = std::chrono::milliseconds(50);
// A hang-up waits for the program to read what was sent, but no longer than this.
constexpr auto kHangupDrainLimit = std::chrono::milliseconds(1000);
constexpr auto kHangupDrainCheck = std::chrono::milliseconds(5);
// The kernel hands written bytes to the slave's input queue a little later; until this long
// after the last write an empty queue does not yet mean "read".
constexpr auto kHangupSettle = std::chrono::milliseconds(50);
// The runaway line: in bursts of 1 KiB every 10 ms when unpaced, else at the baud.
constexpr int kRunawayBurstBytes = 1024;
constexpr auto kRunawayBurstPeriod = std::chrono::milliseconds(10);
constexpr int kRunawayPacedBytes = 64;

timespec toTimespec(std::chrono::nanoseconds wait)
{
    if (wait.count() < 0)
        wait = std::chrono::nanoseconds(0);
    timespec ts{};
    ts.tv_sec = time_t(wait.count() / 1000000000);
    ts.tv_nsec = long(wait.count() % 1000000000);
    return ts;
}
} // namespace

VirtualSupply::VirtualSupply()
    : VirtualSupply(Options{})
{
}

VirtualSupply::VirtualSupply(Options options)
    : m_options(options)
    , m_pacer(options.baud)
    , m_model(options.model)
    , m_faults(options.faults)
    , m_composer(options.seed)
{
    m_model.setMonitorNoise(options.monitorNoise, options.seed);
}

VirtualSupply::~VirtualSupply()
{
    stop();
}

bool VirtualSupply::start(const QString &linkPath)
{
    stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error.clear();
    }
    if (!m_pty.open() || (!linkPath.isEmpty() && !m_pty.placeLink(linkPath))) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = m_pty.errorString();
        m_pty.close();
        return false;
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = QStringLiteral("pipe2 failed");
        m_pty.removeLink();
        m_pty.close();
        return false;
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];
    m_linkPath = linkPath;
    m_framer.clear();
    m_pacer = WirePacer(m_options.baud);
    m_output.clear();
    m_writeBlocked = false;
    m_hangupPending = false;
    m_masterIdleUntil = {};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_slavePath = m_pty.slavePath();
        m_hungUp = false;
        m_runawayActive = false;
        m_linesQueued = 0;
        m_linesSent = 0;
    }
    m_stop = false;
    m_thread = std::thread(&VirtualSupply::run, this);
    return true;
}

void VirtualSupply::stop()
{
    if (m_thread.joinable()) {
        m_stop = true;
        wake();
        m_thread.join();
    }
    closeWakePipe();
    m_pty.removeLink();
    m_pty.close();
}

bool VirtualSupply::reopen()
{
    const QString link = m_linkPath;
    if (m_thread.joinable()) {
        m_stop = true;
        wake();
        m_thread.join();
    }
    closeWakePipe();
    m_pty.close();
    // The old link is replaced by start(), so the path never points nowhere for long.
    return start(link);
}

void VirtualSupply::closeWakePipe()
{
    if (m_wakeRead >= 0)
        ::close(m_wakeRead);
    const int wakeWrite = m_wakeWrite.exchange(-1);
    if (wakeWrite >= 0)
        ::close(wakeWrite);
    m_wakeRead = -1;
}

void VirtualSupply::wake()
{
    const int wakeWrite = m_wakeWrite.load();
    if (wakeWrite >= 0) {
        const char byte = 1;
        // A full pipe already means "wake up"; nothing to do on failure.
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &byte, 1);
    }
}

bool VirtualSupply::isRunning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_thread.joinable() && !m_hungUp;
}

bool VirtualSupply::hasHungUp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hungUp;
}

bool VirtualSupply::waitForHangup(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_hungUp; });
}

QString VirtualSupply::errorString() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

QString VirtualSupply::devicePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_linkPath.isEmpty() ? m_slavePath : m_linkPath;
}

QString VirtualSupply::slavePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slavePath;
}

QStringList VirtualSupply::receivedCommands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

QByteArray VirtualSupply::receivedBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

QByteArray VirtualSupply::sentBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

void VirtualSupply::clearLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.clear();
    m_received.clear();
    m_sent.clear();
}

bool VirtualSupply::waitForCommands(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this, count] { return m_commands.size() >= count; });
}

bool VirtualSupply::waitForRepliesSent(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_linesSent >= m_linesQueued; });
}

void VirtualSupply::setFaults(const SupplyFaults &faults)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (faults.silentAfter != m_faults.silentAfter || faults.hangupAfter != m_faults.hangupAfter) {
            m_linesQueued = 0;
            m_linesSent = 0;
        }
        if (!faults.runaway)
            m_runawayActive = false;
        m_faults = faults;
    }
    wake();
}

SupplyFaults VirtualSupply::faults() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_faults;
}

void VirtualSupply::setPrompt(bool prompt)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_options.prompt = prompt;
}

InstrumentModel VirtualSupply::model() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_model;
}

void VirtualSupply::setModel(const InstrumentModel &model)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_model = model;
}

void VirtualSupply::updateModel(const std::function<void(InstrumentModel &)> &change)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    change(m_model);
}

// ---- the serving thread ----

void VirtualSupply::run()
{
    while (!m_stop) {
        const Clock::time_point now = Clock::now();
        if (m_pty.isOpen()) {
            refillRunaway(now);
            writeDue(now);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (!m_hangupPending && m_faults.hangupAfter >= 0 && m_linesSent >= m_faults.hangupAfter) {
                    m_hangupPending = true;
                    m_hangupDeadline = now + kHangupDrainLimit;
                }
            }
            if (m_hangupPending
                && ((m_output.empty() && now - m_lastWrite >= kHangupSettle && m_pty.bytesWaitingOnSlave() == 0)
                    || now >= m_hangupDeadline))
                hangUp();
        }
        if (!pollOnce(Clock::now()))
            break;
    }
}

bool VirtualSupply::pollOnce(Clock::time_point now)
{
    pollfd fds[3];
    fds[0] = {m_wakeRead, POLLIN, 0};
    fds[1] = {-1, 0, 0};
    fds[2] = {m_pty.isOpen() ? m_pty.closeWatchFd() : -1, POLLIN, 0};
    std::optional<Clock::time_point> deadline;
    auto wakeBy = [&](Clock::time_point t) {
        if (!deadline || t < *deadline)
            deadline = t;
    };

    if (m_pty.isOpen()) {
        if (now < m_masterIdleUntil) {
            // No slave open anywhere (EIO): leave the master out, or POLLHUP would spin.
            wakeBy(m_masterIdleUntil);
        } else {
            fds[1].fd = m_pty.masterFd();
            fds[1].events = POLLIN;
            if (!m_output.empty()) {
                if (m_writeBlocked)
                    fds[1].events |= POLLOUT;
                else
                    wakeBy(m_pacer.nextDue() > now ? m_pacer.nextDue() : now);
                const Chunk &front = m_output.front();
                if (!front.started && front.notBefore > now)
                    wakeBy(front.notBefore);
            }
            bool runaway;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                runaway = m_runawayActive && m_faults.runaway;
            }
            if (runaway && m_output.empty())
                wakeBy(m_nextRunaway);
        }
        if (m_hangupPending)
            wakeBy(now + kHangupDrainCheck);
    }

    timespec ts{};
    timespec *timeout = nullptr;
    if (deadline) {
        ts = toTimespec(std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - now));
        timeout = &ts;
    }
    const int ready = ppoll(fds, 3, timeout, nullptr);
    if (ready < 0) {
        if (errno == EINTR)
            return true;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = QStringLiteral("poll failed");
        return false;
    }
    if (fds[0].revents & POLLIN) {
        char drain[64];
        while (::read(m_wakeRead, drain, sizeof drain) > 0) {
        }
    }
    if (fds[2].fd >= 0 && (fds[2].revents & POLLIN))
        m_pty.releaseAfterClose();
    if (fds[1].fd >= 0 && fds[1].revents) {
        if (fds[1].revents & POLLOUT)
            m_writeBlocked = false;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            readMaster(Clock::now());
    }
    return true;
}

void VirtualSupply::readMaster(Clock::time_point now)
{
    char buffer[kReadBlock];
    for (;;) {
        const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
        if (n > 0) {
            if (m_options.keepLog) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_received.append(buffer, int(n));
            }
            for (ssize_t i = 0; i < n; ++i) {
                const Clock::time_point arrived = m_pacer.arrival(now);
                if (std::optional<QByteArray> line = m_framer.push(buffer[i]))
                    handleCommand(*line, arrived);
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        // EIO (or end of file): nobody holds the slave open at the moment. Not an end: the
        // program opens and closes the device many times. Look again shortly.
        m_masterIdleUntil = now + kIdleRetry;
        return;
    }
}

void VirtualSupply::handleCommand(const QByteArray &line, Clock::time_point arrived)
{
    ReplyComposer::Reply reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_options.keepLog)
            m_commands.append(QString::fromLatin1(line));
        if (m_runawayActive && m_faults.runaway) {
            // The endless line goes on; the command still takes effect.
            m_model.execute(QString::fromLatin1(line));
        } else {
            reply = m_composer.compose(line, m_model, m_faults, m_options.prompt, m_options.errorReplies);
            if (reply.startsRunaway)
                m_runawayActive = true;
        }
        for (const QByteArray &bytes : std::as_const(reply.lines)) {
            const bool silentNow = m_faults.silentAfter >= 0 && m_linesQueued >= m_faults.silentAfter;
            const bool hungUpNow = m_faults.hangupAfter >= 0 && m_linesQueued >= m_faults.hangupAfter;
            if (silentNow || hungUpNow)
                break;
            ++m_linesQueued;
            m_output.push_back(Chunk{bytes, 0, true, false, arrived});
        }
    }
    m_changed.notify_all();
    if (reply.startsRunaway)
        m_nextRunaway = arrived;
}

void VirtualSupply::refillRunaway(Clock::time_point now)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_runawayActive || !m_faults.runaway || m_faults.silent)
            return;
        if (m_faults.silentAfter >= 0 && m_linesQueued >= m_faults.silentAfter)
            return;
    }
    // Top the queue up only when it runs dry: a reader that never reads costs no memory.
    if (!m_output.empty())
        return;
    if (m_pacer.paced()) {
        m_output.push_back(Chunk{m_composer.runawayBytes(kRunawayPacedBytes), 0, false, false, now});
        return;
    }
    if (now < m_nextRunaway)
        return;
    m_output.push_back(Chunk{m_composer.runawayBytes(kRunawayBurstBytes), 0, false, false, now});
    m_nextRunaway = now + kRunawayBurstPeriod;
}

void VirtualSupply::writeDue(Clock::time_point now)
{
    while (!m_output.empty() && !m_writeBlocked) {
        Chunk &chunk = m_output.front();
        if (!chunk.started) {
            if (chunk.notBefore > now)
                return;
            m_pacer.beginOutput(chunk.notBefore);
            chunk.started = true;
        }
        const int remaining = int(chunk.bytes.size()) - chunk.written;
        const int due = m_pacer.bytesDue(now, remaining);
        if (due == 0)
            return;
        const ssize_t n = ::write(m_pty.masterFd(), chunk.bytes.constData() + chunk.written, size_t(due));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                m_writeBlocked = true;
            else
                m_masterIdleUntil = now + kIdleRetry;
            return;
        }
        m_pacer.sent(int(n));
        m_lastWrite = now;
        if (m_options.keepLog) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sent.append(chunk.bytes.constData() + chunk.written, int(n));
        }
        chunk.written += int(n);
        if (chunk.written < chunk.bytes.size()) {
            if (n < due)
                m_writeBlocked = true;
            continue;
        }
        const bool isLine = chunk.isLine;
        m_output.pop_front();
        if (isLine) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_linesSent;
            m_changed.notify_all();
        }
    }
}

void VirtualSupply::hangUp()
{
    m_hangupPending = false;
    m_output.clear();
    m_pty.close();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hungUp = true;
    }
    m_changed.notify_all();
}
