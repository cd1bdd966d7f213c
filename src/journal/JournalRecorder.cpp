#include "journal/JournalRecorder.h"

#include "journal/Journal.h"
#include "journal/JournalEntry.h"

#include <QDateTime>

namespace {
qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}
} // namespace

JournalRecorder::JournalRecorder(Journal &journal) : m_journal(journal) {}

bool JournalRecorder::isOn() const
{
    return m_journal.isEnabled();
}

void JournalRecorder::write(const JournalEntry &entry)
{
    m_journal.record(entry.msecs(), entry.line());
}

void JournalRecorder::sent(const QString &command, qint32 result, CommandSource source)
{
    if (isOn())
        write(JournalEntry(now()).text("sent", command).number("result", result).text("source", commandSourceName(source)));
}

void JournalRecorder::readBack(const std::array<ModuleReading, kModuleCount> &readings,
                               const std::array<QString, kModuleCount> &codes)
{
    if (!isOn())
        return;
    QByteArray modules = "{";
    for (int i = 0; i < kModuleCount; ++i) {
        const ModuleReading &r = readings[i];
        if (i > 0)
            modules += ", ";
        modules += JournalEntry::quoted(codes[i]) + ": [" + JournalEntry::number(r.Gain) + ", "
                   + JournalEntry::number(r.Offset) + ", " + JournalEntry::number(r.value) + ", "
                   + JournalEntry::number(r.Umon) + ", " + JournalEntry::number(r.Imon) + ", "
                   + QByteArray::number(r.OnOff) + "]";
    }
    modules += "}";
    write(JournalEntry(now()).json("read", modules));
}

void JournalRecorder::connection(bool connected, const QString &port)
{
    if (!isOn())
        return;
    JournalEntry entry(now());
    entry.text("event", connected ? QStringLiteral("connected") : QStringLiteral("disconnected"));
    if (connected)
        entry.text("port", port);
    write(entry);
}

void JournalRecorder::profile(bool saved, const QString &path)
{
    if (isOn())
        write(JournalEntry(now())
                  .text("event", saved ? QStringLiteral("profile saved") : QStringLiteral("profile loaded"))
                  .text("path", path));
}

void JournalRecorder::rampStarted(int steps)
{
    if (isOn())
        write(JournalEntry(now()).text("event", QStringLiteral("ramp started")).number("steps", steps));
}

void JournalRecorder::rampEnded(int stepsDone, bool complete)
{
    if (isOn())
        write(JournalEntry(now())
                  .text("event", QStringLiteral("ramp ended"))
                  .number("steps", stepsDone)
                  .flag("complete", complete));
}

void JournalRecorder::message(const QString &title, const QString &text)
{
    if (isOn())
        write(JournalEntry(now()).json("message", "{\"title\": " + JournalEntry::quoted(title)
                                                      + ", \"text\": " + JournalEntry::quoted(text) + "}"));
}
