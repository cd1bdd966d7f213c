#include "PseudoTerminal.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0)
        return;
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        ::close(fd);
        return;
    }
    const char *name = ::ptsname(fd);
    if (!name) {
        ::close(fd);
        return;
    }
    m_master = fd;
    m_slavePath = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    if (m_master >= 0)
        ::close(m_master);
}
