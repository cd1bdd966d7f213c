#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into the Qt signal terminationRequested() on the thread that
// created the object, so that a session logout or kill ends the program through its normal
// unload (settings written, port closed) instead of dying on the spot. The signal handler only
// writes the signal number into a socket pair; everything else happens in the event loop.
// One object at a time; its destruction puts the previous handlers back.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the handlers could not be installed (another object holds them, or the
    // socket pair could not be made).
    bool isActive() const { return m_active; }

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignals();

    bool m_active = false;
    QSocketNotifier *m_notifier = nullptr;
};
