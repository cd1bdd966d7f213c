#include "profiles/ProfileFileError.h"

#include <QFileInfo>

#include <cerrno>

namespace {

bool isDiskFull(int systemError)
{
    return systemError == ENOSPC || systemError == EDQUOT;
}

} // namespace

int ProfileFileError::forOpen(const QString &path, bool forWriting, int systemError)
{
    if (isDiskFull(systemError))
        return kDiskFull;
    if (systemError == EACCES || systemError == EPERM || systemError == EROFS)
        return kPermissionDenied;
    if (systemError == ENOTDIR)
        return kPathNotFound;

    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (file.isDir())
        return kPathFileAccessError;
    if (!folder.exists() || !folder.isDir())
        return kPathNotFound;
    if (!file.exists())
        return forWriting ? (folder.isWritable() ? kPathFileAccessError : kPermissionDenied) : kFileNotFound;
    if (forWriting ? !(file.isWritable() && folder.isWritable()) : !file.isReadable())
        return kPermissionDenied;
    return kPathFileAccessError;
}

int ProfileFileError::forTransfer(int systemError)
{
    if (isDiskFull(systemError))
        return kDiskFull;
    return kDeviceIoError;
}
