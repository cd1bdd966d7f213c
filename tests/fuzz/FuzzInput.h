#pragma once

#include <QByteArray>
#include <QString>

// Reads a fuzzer's bytes as the pieces a target needs: selector bytes, raw single-precision
// numbers and text in one of three decodings. Past the end every piece reads as zero or empty,
// so any input, even an empty one, is a valid run.
class FuzzInput
{
public:
    enum class Decoding { Utf8, Latin1, Utf16 };

    explicit FuzzInput(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    quint8 takeByte();
    // Four bytes as the bits of a single: every NaN, infinity and subnormal is reachable.
    float takeFloat();
    double takeDouble();
    // The next `bytes` bytes (at most what is left) as text.
    QString takeText(qsizetype bytes, Decoding decoding);
    // Everything that is left as text. UTF-16 reaches lone surrogates and any code unit.
    QString restText(Decoding decoding);
    static Decoding decodingFor(quint8 selector);

    qsizetype remaining() const { return m_bytes.size() - m_position; }

private:
    QByteArray m_bytes;
    qsizetype m_position = 0;
};
