#pragma once

#include <QByteArray>

// The control link's execute grammar (NAME[=value], ENERGY the only name) on arbitrary text.
// Byte 0 chooses the locale (bit 0) and the decoding; the rest is the command.
class LinkExecuteFuzz
{
public:
    void run(const QByteArray &data);
};
