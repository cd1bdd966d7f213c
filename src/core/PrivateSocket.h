#pragma once

#include <QString>

class QLocalServer;

// A local socket that only its user may reach, in the private runtime folder: the control link
// and the single-instance request both listen through it.
class PrivateSocket
{
public:
    static constexpr int kProbeTimeoutMs = 1000; // connect to an existing socket file

    // Replaces a stale socket file, listens, and restricts the socket to its user (0600). A live
    // socket (another running instance) is left alone: false, with the reason.
    static bool listen(QLocalServer &server, const QString &path, QString &errorString);
    // True when `path` is free now: absent, or a socket nobody listens on (then removed).
    static bool removeStale(const QString &path, QString &errorString);
};
