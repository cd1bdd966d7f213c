#include "ScriptedTerminal.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

ScriptedTerminal::ScriptedTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Raw on the line, so that no byte is changed on its way.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios settings {};
        ::tcgetattr(slave, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(slave, TCSANOW, &settings);
        ::close(slave);
    }
    m_thread = std::thread([this] { serve(); });
}

ScriptedTerminal::~ScriptedTerminal()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_master >= 0)
        ::close(m_master);
}

void ScriptedTerminal::script(const QList<QByteArray> &replies)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replies = replies;
}

void ScriptedTerminal::send(const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outgoing.append(bytes);
}

qint64 ScriptedTerminal::pendingBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outgoing.size();
}

void ScriptedTerminal::cancelSending()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outgoing.clear();
}

QByteArray ScriptedTerminal::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

void ScriptedTerminal::hangUp()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void ScriptedTerminal::serve()
{
    char buffer[4096];
    while (!m_stop) {
        int fd;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            fd = m_master;
        }
        if (fd < 0)
            return;
        short events = POLLIN;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_outgoing.isEmpty())
                events |= POLLOUT;
        }
        pollfd p{fd, events, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        bool noSlave = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_master < 0)
                return;
            if ((p.revents & POLLOUT) && !m_outgoing.isEmpty()) {
                const ssize_t written = ::write(m_master, m_outgoing.constData(), size_t(m_outgoing.size()));
                if (written > 0)
                    m_outgoing.remove(0, int(written));
            }
            if (!(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            noSlave = n <= 0;
            for (ssize_t i = 0; i < n; ++i) {
                m_received.append(buffer[i]);
                if (buffer[i] == '\r' && !m_replies.isEmpty()) {
                    m_outgoing.append(m_replies.takeFirst());
                }
            }
        }
        if (noSlave)
            ::usleep(10000); // no slave open right now (EIO): wait for the next opening
    }
}
