#pragma once

#include <QByteArray>

// The read command's data line and what the panel makes of a reading: parseDataLine on an
// arbitrary line, then the monitor texts, the screen bar and the service table of the result
// and of raw numbers. Byte 0: locale (bit 0) and decoding; bytes 1..20 five singles; the rest
// is the line.
class ReplyFuzz
{
public:
    void run(const QByteArray &data);
};
