#pragma once

#include <QByteArray>
#include <QString>

// One line of the journal: a JSON object that starts with its time, {"t": "...", ...}, with
// the members in the order they were added.
class JournalEntry
{
public:
    explicit JournalEntry(qint64 msecsSinceEpoch);

    JournalEntry &addText(const char *key, const QString &value);
    JournalEntry &addNumber(const char *key, qint64 value);
    JournalEntry &addFlag(const char *key, bool value);
    // A member whose value is JSON already (an array, an object).
    JournalEntry &addJson(const char *key, const QByteArray &value);

    qint64 msecs() const { return m_msecs; }
    // The object and its line end.
    QByteArray line() const { return m_text + "}\n"; }

    static QByteArray jsonString(const QString &text);
    // Shortest single-precision text; null for what JSON has no number for.
    static QByteArray jsonNumber(float value);

private:
    qint64 m_msecs;
    QByteArray m_text;
};
