#include "SupplyTerminal.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

SupplyTerminal::~SupplyTerminal()
{
    close();
}

bool SupplyTerminal::fail(const QString &what)
{
    m_error = what + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(errno));
    close();
    return false;
}

bool SupplyTerminal::open()
{
    close();
    m_error.clear();
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    if (grantpt(m_master) != 0)
        return fail(QStringLiteral("grantpt"));
    if (unlockpt(m_master) != 0)
        return fail(QStringLiteral("unlockpt"));
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    m_slavePath = QString::fromLocal8Bit(name);

    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(QStringLiteral("fcntl"));

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_slave < 0)
        return fail(QStringLiteral("open ") + m_slavePath);
    // Raw both ways: no echo by the line discipline, no CR/LF translation, byte by byte.
    termios settings{};
    if (tcgetattr(m_slave, &settings) != 0)
        return fail(QStringLiteral("tcgetattr"));
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(m_slave, TCSANOW, &settings) != 0)
        return fail(QStringLiteral("tcsetattr"));

    // Without the watch the supply still works; only a crashed holder's lock would linger.
    m_closeWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_closeWatch >= 0 && inotify_add_watch(m_closeWatch, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(m_closeWatch);
        m_closeWatch = -1;
    }
    return true;
}

void SupplyTerminal::close()
{
    if (m_closeWatch >= 0)
        ::close(m_closeWatch);
    m_closeWatch = -1;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
}

void SupplyTerminal::releaseAfterClose()
{
    alignas(inotify_event) char events[1024];
    bool closed = false;
    while (m_closeWatch >= 0 && ::read(m_closeWatch, events, sizeof events) > 0)
        closed = true;
    if (closed && m_slave >= 0)
        ioctl(m_slave, TIOCNXCL);
}

int SupplyTerminal::bytesWaitingOnSlave() const
{
    if (m_slave < 0)
        return 0;
    int count = 0;
    if (ioctl(m_slave, FIONREAD, &count) != 0)
        return 0;
    return count;
}

bool SupplyTerminal::placeLink(const QString &path)
{
    if (m_slavePath.isEmpty()) {
        m_error = QStringLiteral("no terminal to link to");
        return false;
    }
    const QByteArray target = QFile::encodeName(m_slavePath);
    const QByteArray link = QFile::encodeName(path);
    struct stat existing{};
    if (lstat(link.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        m_error = path + QLatin1String(" exists and is not a symbolic link");
        return false;
    }
    // Build the new link beside the old one and rename it over, so the path never vanishes.
    const QByteArray temporary = link + ".new-" + QByteArray::number(qint64(getpid()));
    ::unlink(temporary.constData());
    if (symlink(target.constData(), temporary.constData()) != 0) {
        m_error = QLatin1String("symlink ") + path + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (rename(temporary.constData(), link.constData()) != 0) {
        m_error = QLatin1String("rename ") + path + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(errno));
        ::unlink(temporary.constData());
        return false;
    }
    m_linkPath = path;
    return true;
}

void SupplyTerminal::removeLink()
{
    if (m_linkPath.isEmpty())
        return;
    // Another supply may have taken the path over since; leave its link alone.
    const QByteArray link = QFile::encodeName(m_linkPath);
    char target[PATH_MAX];
    const ssize_t length = readlink(link.constData(), target, sizeof target);
    if (length > 0 && QByteArray(target, int(length)) == QFile::encodeName(m_slavePath))
        ::unlink(link.constData());
    m_linkPath.clear();
}
