#pragma once

#include <QByteArray>

// The command-line switches on an arbitrary command line. Byte 0 chooses the decoding; the
// rest is the line.
class CommandLineFuzz
{
public:
    static constexpr qint16 kHighestPortSwitch = 4;

    void run(const QByteArray &data);
};
