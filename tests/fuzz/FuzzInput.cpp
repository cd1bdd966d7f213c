#include "FuzzInput.h"

#include <cstring>

quint8 FuzzInput::takeByte()
{
    if (m_position >= m_bytes.size())
        return 0;
    return quint8(m_bytes.at(m_position++));
}

float FuzzInput::takeFloat()
{
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits = (bits << 8) | takeByte();
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double FuzzInput::takeDouble()
{
    quint64 bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | takeByte();
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QString FuzzInput::takeText(qsizetype bytes, Decoding decoding)
{
    const qsizetype count = qBound<qsizetype>(0, bytes, remaining());
    const QByteArray piece = m_bytes.mid(m_position, count);
    m_position += count;
    switch (decoding) {
    case Decoding::Utf8:
        return QString::fromUtf8(piece);
    case Decoding::Latin1:
        return QString::fromLatin1(piece);
    case Decoding::Utf16:
        break;
    }
    QString text(piece.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t((quint8(piece.at(2 * i)) << 8) | quint8(piece.at(2 * i + 1))));
    return text;
}

QString FuzzInput::restText(Decoding decoding)
{
    return takeText(remaining(), decoding);
}

FuzzInput::Decoding FuzzInput::decodingFor(quint8 selector)
{
    switch (selector % 3) {
    case 0:
        return Decoding::Utf8;
    case 1:
        return Decoding::Latin1;
    default:
        return Decoding::Utf16;
    }
}
