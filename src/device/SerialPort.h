#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The operations the link needs of a serial port, and nothing more: open a device at
// 9600,n,8,1 raw, close, write, count waiting bytes, read, and block until bytes arrive.
class SerialPort
{
public:
    // Outcome of the last operation; the link turns these into its own error numbers.
    enum class Error {
        None,
        NotFound,         // no such device path
        NoPermission,     // the user may not open the device (group dialout)
        InUse,            // held open by this or another program (lock file)
        NotPresent,       // a device node without hardware behind it
        OpenFailed,       // any other failure to open or configure
        NotOpen,          // operation on a closed port
        ReadFailed,
        WriteFailed,
        Removed,          // the device went away (hang-up)
    };

    virtual ~SerialPort() = default;

    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes all of `bytes` in one go.
    virtual bool write(const QByteArray &bytes) = 0;
    // Bytes received and not yet read, after taking in what the device has delivered.
    virtual qint64 bytesWaiting() = 0;
    // Up to `maxBytes` waiting bytes; fewer when fewer wait.
    virtual QByteArray read(qint64 maxBytes) = 0;
    // Discards everything received and not read.
    virtual bool discardInput() = 0;
    // Blocks (no event processing) until bytes arrive or `msecs` pass; true when bytes wait.
    virtual bool waitForBytes(int msecs) = 0;

    virtual Error error() const = 0;
    // Description of the last error in the platform's words.
    virtual QString errorText() const = 0;
    // The device path, or "loopback".
    virtual QString path() const = 0;
    // Called once when the device fails while nobody is reading (for example a hang-up while
    // the event loop runs); the port is already closed then.
    virtual void setLostHandler(std::function<void()> handler) { (void)handler; }
};
