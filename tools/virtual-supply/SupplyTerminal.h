#pragma once

#include <QString>

// One pseudo-terminal for the supply: the master end is ours, the slave end is the device the
// program opens. We keep a slave descriptor of our own open (never read from it) so that the
// raw settings stay and the master sees no hang-up while the program closes and reopens.
class SupplyTerminal
{
public:
    SupplyTerminal() = default;
    ~SupplyTerminal();
    SupplyTerminal(const SupplyTerminal &) = delete;
    SupplyTerminal &operator=(const SupplyTerminal &) = delete;

    // Creates the terminal with a non-blocking master and a raw slave.
    bool open();
    // Closes both ends: the program's side sees a hang-up. Leaves the link in place.
    void close();
    bool isOpen() const { return m_master >= 0; }

    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    // Bytes written by us that the program has not read yet.
    int bytesWaitingOnSlave() const;

    // Readable when a process has closed the slave (a watch on the device node).
    int closeWatchFd() const { return m_closeWatch; }
    // Takes the close events in and lifts an exclusive hold on the slave: a serial-port layer
    // that takes one and dies without lifting it would otherwise lock every later open out,
    // because our own descriptor keeps the terminal alive.
    void releaseAfterClose();

    // Places a symbolic link at `path` pointing to the slave, replacing an existing link
    // (never a file that is not a link) in one step.
    bool placeLink(const QString &path);
    // Removes the link if it still points to this terminal's slave.
    void removeLink();
    QString linkPath() const { return m_linkPath; }

    QString errorString() const { return m_error; }

private:
    bool fail(const QString &what);

    int m_master = -1;
    int m_slave = -1;
    int m_closeWatch = -1;
    QString m_slavePath;
    QString m_linkPath;
    QString m_error;
};
