#pragma once

#include <QString>

// Status numbers of the profile reader and writer. The message box always shows the platform's
// own description of the error (QFileDevice::errorString()); the number is ours:
//
//    0  success
//   -1  not a profile: wrong marker or fewer than 55 bytes ("Invalif file format")
//   53  file not found: the file does not exist, its folder does
//   54  bad file mode: the path names a FIFO, a device or a socket, not a regular file
//   57  device I/O error: reading or writing failed after the file was opened
//   61  disk full: no space (or quota) left while writing
//   70  permission denied: the file or its folder may not be read or written, or the medium is
//       read-only
//   75  path/file access error: the path names a folder, or the file could not be opened for
//       another reason
//   76  path not found: a folder on the path is missing or is not a folder
class ProfileFileError
{
public:
    static constexpr int kSuccess = 0;
    static constexpr int kNotAProfile = -1;
    static constexpr int kFileNotFound = 53;
    static constexpr int kNotARegularFile = 54;
    static constexpr int kDeviceIoError = 57;
    static constexpr int kDiskFull = 61;
    static constexpr int kPermissionDenied = 70;
    static constexpr int kPathFileAccessError = 75;
    static constexpr int kPathNotFound = 76;

    // Status of a failed open of `path`; `systemError` is errno right after the failing call
    // (0 when unknown). The situation on disk decides where errno is missing or ambiguous.
    static int forOpen(const QString &path, bool forWriting, int systemError);
    // Status of a failed read or write after a successful open.
    static int forTransfer(int systemError);
};
