#pragma once

#include "device/SerialPort.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class UserInterface;

// The lowest layer of the traffic with the supply: one serial port, line framing (text, LF, CR
// out; lines end at CR in, LF dropped), the one-second reply limit, the busy lamp, the port
// caption and the error message. Blocks in the port's wait; never processes events.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    enum class Lamp { Default, Busy, Ok, TimedOut, Failed }; // Busy red, Ok green, orange, grey

    // Error numbers of ours, shown as "Error <n> in <source>:" + CR + description.
    enum ErrorNumber : qint32 {
        kErrNotFound = 8002,      // the device path does not exist
        kErrInUse = 8005,         // already open, by this or another program
        kErrNoPermission = 8006,  // the user may not open the device (not in group dialout)
        kErrNotPresent = 8007,    // a device node without hardware behind it
        kErrOpenFailed = 8010,    // any other failure to open or configure
        kErrNotOpen = 8018,       // operation valid only while the port is open
        kErrWrite = 8020,         // writing failed
        kErrRead = 8021,          // reading failed
        kErrRemoved = 8022,       // the device went away (hang-up); the port is closed
        kErrNoPort = 8030,        // the port number has no device mapped to it
        kErrControlCharacter = 8040, // a command carrying a control character is never sent
        kErrBeyondLimits = 8041,     // a set value beyond its module's limits is never sent
    };

    static constexpr int kReplyTimeoutMs = 1000;
    // A reply line longer than this without a CR ends the read as a time-out does.
    static constexpr int kMaxLineLength = 4096;
    static inline const QString kErrorSource = QStringLiteral("SerialLink");

    explicit SerialLink(UserInterface &ui, QObject *parent = nullptr);
    ~SerialLink() override;

    bool openPort(qint32 commPort);
    qint32 closePort();
    qint32 writeLine(const QString &text);
    qint32 readLine(QString &text);
    qint32 clearInput();

    // A command refused before it reaches the line: grey lamp, the message, `number` returned.
    qint32 refuse(qint32 number, const QString &description);

    // Ends a read as a time-out does: orange lamp, auto refresh off, result -1.
    qint32 endAsTimeout();

    // The program is ending (the main window unloaded): the port is closed for good, and every
    // later operation fails with kErrNotOpen without a message, so that work interrupted by the
    // unload (a job still under way) neither reaches the line nor the operator.
    void retire();
    bool isRetired() const { return m_retired; }

    bool isOpen() const;
    Lamp lamp() const { return m_lamp; }
    QString portCaption() const { return m_portCaption; }
    // The main window's caption, the title of the link's messages.
    void setCaption(const QString &caption) { m_caption = caption; }
    // The device path of the open port ("" when closed).
    QString devicePath() const;

    // For tests: use this port object instead of the port table's.
    void setPortFactory(std::function<std::unique_ptr<SerialPort>(int)> factory);

    static QString portCaptionFor(int commPort);

signals:
    void lampChanged(SerialLink::Lamp lamp);
    void portCaptionChanged(const QString &caption);
    // A read found no complete line in time; the owner switches auto refresh off.
    void replyTimedOut();
    // The device failed (hang-up, read or write error) and the port was closed; the owner
    // switches auto refresh off so that nothing polls a dead line.
    void portLost();

private:
    void setLamp(Lamp lamp);
    void setPortCaption(const QString &caption);
    qint32 fail(qint32 number, const QString &description, const QString &titlePrefix);
    qint32 portErrorNumber(SerialPort::Error error) const;
    // After a hang-up the port is closed at once, so it cannot report errors without end.
    void closeIfGone();
    // An operation on a closed port: kErrNotOpen with its message, or, on a port that was lost
    // (and reported), kErrRemoved without another.
    qint32 notOpen(const QString &titlePrefix);

    UserInterface &m_ui;
    QString m_caption; // the main window's caption, for message titles
    std::function<std::unique_ptr<SerialPort>(int)> m_factory;
    std::unique_ptr<SerialPort> m_port;
    Lamp m_lamp = Lamp::Default;
    QString m_portCaption;
    bool m_retired = false;
    bool m_lost = false; // closed because the device failed, until opened or closed again
};
