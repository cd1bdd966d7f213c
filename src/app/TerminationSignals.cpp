#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kHandledSignals = {SIGTERM, SIGINT, SIGHUP};

// Shared with the handler; only the handler and the owning object touch them.
volatile sig_atomic_t g_writeFd = -1;
int g_readFd = -1;
std::array<struct sigaction, kHandledSignals.size()> g_previous {};

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno; // the interrupted code may be looking at errno
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int fd = g_writeFd;
    if (fd >= 0) {
        // Non-blocking: when the pipe is full, requests are already waiting to be read.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (g_readFd >= 0) {
        qWarning("TerminationSignals: handlers are already installed by another object");
        return;
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        qWarning("TerminationSignals: cannot create socket pair");
        return;
    }
    g_readFd = fds[0];
    g_writeFd = fds[1];

    m_notifier = new QSocketNotifier(g_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // interrupted system calls resume; the work is done later
    for (std::size_t i = 0; i < kHandledSignals.size(); ++i)
        ::sigaction(kHandledSignals[i], &action, &g_previous[i]);
    m_active = true;
}

TerminationSignals::~TerminationSignals()
{
    if (!m_active)
        return;
    for (std::size_t i = 0; i < kHandledSignals.size(); ++i)
        ::sigaction(kHandledSignals[i], &g_previous[i], nullptr);
    delete m_notifier;
    const int writeFd = g_writeFd;
    g_writeFd = -1;
    ::close(writeFd);
    ::close(g_readFd);
    g_readFd = -1;
}

void TerminationSignals::readSignals()
{
    unsigned char buffer[16];
    while (true) {
        const ssize_t count = ::read(g_readFd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        for (ssize_t i = 0; i < count; ++i)
            emit terminationRequested(buffer[i]);
    }
}
