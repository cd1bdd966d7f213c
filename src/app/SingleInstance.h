#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running program per user and runtime folder. The first start holds an exclusive lock on
// "Instance.lock" in the runtime folder (the kernel drops it when the process ends, however it
// ends, so a crashed run never blocks the next) and listens on the local socket "Instance";
// a later start sends it "raise" and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening. False when another instance holds the lock. Without
    // a usable runtime folder there is nothing to coordinate through: the caller runs as primary.
    bool tryBecomePrimary();
    // Asks the primary to raise its window. Retries for a while, since a primary that has just
    // taken the lock may not listen yet. False when no primary answered.
    bool notifyPrimary();

    bool isPrimary() const { return m_primary; }

signals:
    void activationRequested();

private:
    void acceptConnections();
    void readRequests(QLocalSocket *socket);

    int m_lockFd = -1;
    bool m_primary = false;
    QLocalServer *m_server = nullptr;
};
