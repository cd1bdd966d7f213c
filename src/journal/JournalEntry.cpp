#include "journal/JournalEntry.h"

#include "core/Conversions.h"

#include <cmath>

JournalEntry::JournalEntry(qint64 msecsSinceEpoch) : m_msecs(msecsSinceEpoch)
{
    m_text = "{\"t\": " + jsonString(IsoLocalTime(msecsSinceEpoch));
}

JournalEntry &JournalEntry::addText(const char *key, const QString &value)
{
    return addJson(key, jsonString(value));
}

JournalEntry &JournalEntry::addNumber(const char *key, qint64 value)
{
    return addJson(key, QByteArray::number(value));
}

JournalEntry &JournalEntry::addFlag(const char *key, bool value)
{
    return addJson(key, value ? QByteArrayLiteral("true") : QByteArrayLiteral("false"));
}

JournalEntry &JournalEntry::addJson(const char *key, const QByteArray &value)
{
    m_text += ", \"" + QByteArray(key) + "\": " + value;
    return *this;
}

QByteArray JournalEntry::jsonString(const QString &text)
{
    static const char *const kHex = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xf];
            }
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

QByteArray JournalEntry::jsonNumber(float value)
{
    if (!std::isfinite(value))
        return QByteArrayLiteral("null");
    return ShortestText(value).toLatin1();
}
