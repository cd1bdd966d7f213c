#include "journal/JournalFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t kFolderMode = 0700; // the journal tells who did what: the user's own
constexpr mode_t kFileMode = 0600;
constexpr off_t kScanChunkBytes = 4096; // read back from the end a chunk at a time, for the last '\n'

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

JournalFile::~JournalFile()
{
    close();
}

bool JournalFile::open(const QString &path)
{
    close();
    const QString folder = QFileInfo(path).absolutePath();
    const bool existed = QFileInfo(folder).isDir();
    if (!QDir().mkpath(folder)) {
        m_error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    if (!existed)
        ::chmod(QFile::encodeName(folder).constData(), kFolderMode);
    // Non-blocking, so that a FIFO put in its place does not hold the writer; read access for
    // finding the last whole line.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK,
                          kFileMode);
    if (fd < 0) {
        // ENXIO: a FIFO without a reader, which a non-blocking open refuses.
        m_error = errno == ENXIO ? QStringLiteral("not a regular file") : errorText(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        m_error = QStringLiteral("not a regular file");
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_path = path;
    const QString cutError = cutBackPartialLine();
    if (!cutError.isEmpty()) {
        close();
        m_error = QStringLiteral("cannot cut back its partial last line: %1").arg(cutError);
        return false;
    }
    return true;
}

bool JournalFile::append(const QByteArray &line)
{
    qint64 done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(m_fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = errorText(n < 0 ? errno : ENOSPC);
            // Best effort: what stays is cut back when the file is next opened.
            cutBackPartialLine();
            close();
            return false;
        }
        done += n;
    }
    return true;
}

void JournalFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

QString JournalFile::cutBackPartialLine()
{
    struct stat status {};
    if (::fstat(m_fd, &status) != 0)
        return errorText(errno);
    off_t end = status.st_size;
    char chunk[kScanChunkBytes];
    while (end > 0) {
        const off_t start = end > kScanChunkBytes ? end - kScanChunkBytes : 0;
        const ssize_t n = ::pread(m_fd, chunk, size_t(end - start), start);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errorText(errno);
        if (n == 0)
            return {}; // cut short meanwhile by someone else: leave it
        const void *newline = ::memrchr(chunk, '\n', size_t(n));
        if (newline) {
            end = start + (static_cast<const char *>(newline) - chunk) + 1;
            break;
        }
        end = start;
    }
    if (end == status.st_size)
        return {}; // whole lines (or empty)
    if (::ftruncate(m_fd, end) != 0)
        return errorText(errno);
    return {};
}
