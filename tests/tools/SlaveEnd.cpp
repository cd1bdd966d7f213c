#include "SlaveEnd.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

SlaveEnd::~SlaveEnd()
{
    close();
}

bool SlaveEnd::open(const QString &path)
{
    close();
    m_hungUp = false;
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios settings{};
    if (tcgetattr(m_fd, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(m_fd, TCSANOW, &settings);
    }
    return true;
}

void SlaveEnd::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SlaveEnd::sendCommand(const QByteArray &text)
{
    return sendRaw(text + "\n\r");
}

bool SlaveEnd::sendRaw(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                pollfd fd{m_fd, POLLOUT, 0};
                poll(&fd, 1, 100);
                continue;
            }
            return false;
        }
        done += n;
    }
    return true;
}

bool SlaveEnd::readSome(QByteArray &into, int timeoutMs)
{
    if (m_fd < 0 || m_hungUp)
        return false;
    pollfd fd{m_fd, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0)
        return false;
    char buffer[4096];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, int(n));
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    m_hungUp = true;
    return false;
}

QByteArray SlaveEnd::readLines(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.count("\r\n") < count) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || (!readSome(got, int(left)) && m_hungUp))
            break;
    }
    return got;
}

QByteArray SlaveEnd::readBytes(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || (!readSome(got, int(left)) && m_hungUp))
            break;
    }
    return got;
}

QByteArray SlaveEnd::readFor(int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || (!readSome(got, int(left)) && m_hungUp))
            break;
    }
    return got;
}
