#pragma once

#include <QByteArray>
#include <QList>

#include <cstring>

// An independent reading and making of the 55-byte profile layout, byte by byte, so the tests
// do not check the program's format code against itself.
namespace ProfileBytes {

inline float singleAt(const QByteArray &bytes, int offset)
{
    const auto b = [&](int i) { return quint32(quint8(bytes.at(offset + i))); };
    const quint32 bits = b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline QByteArray make(const QByteArray &marker, const QList<float> &values)
{
    QByteArray bytes = marker;
    for (float value : values) {
        quint32 bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 4; ++i)
            bytes.append(char((bits >> (8 * i)) & 0xff));
    }
    return bytes;
}

} // namespace ProfileBytes
