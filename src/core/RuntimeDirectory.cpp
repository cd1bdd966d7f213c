#include "core/RuntimeDirectory.h"

#include "core/SettingsStore.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Creates `dir` with mode 0700 if missing; accepts it only when it is a folder of this user's
// that nobody else may enter, so that another user cannot plant sockets in it.
bool ensurePrivateFolder(const QString &dir)
{
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    if ((info.st_mode & 0077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}

} // namespace

namespace RuntimeDirectory {

QString path()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty()) {
        base = QDir::tempPath() + QStringLiteral("/%1-runtime-%2").arg(SettingsStore::applicationName()).arg(::getuid());
        if (!ensurePrivateFolder(base))
            return {};
    }
    const QString dir = base + QLatin1Char('/') + SettingsStore::applicationName();
    if (!ensurePrivateFolder(dir))
        return {};
    return dir;
}

QString filePath(const QString &name)
{
    const QString dir = path();
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + name;
}

} // namespace RuntimeDirectory
