#pragma once

#include <QString>
#include <QtGlobal>

// A property every input must keep. A broken one aborts, which the fuzzer records as a finding
// and the replay test as a crash; the message says which property and for what text.
inline void fuzzRequire(bool holds, const char *property, const QString &detail = QString())
{
    if (!holds)
        qFatal("fuzz property broken: %s [%s]", property, qUtf8Printable(detail));
}

// True when `text` holds a character below U+0020 or in U+007F..U+009F.
inline bool hasControlCharacter(const QString &text)
{
    for (const QChar ch : text) {
        const char16_t code = ch.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            return true;
    }
    return false;
}
