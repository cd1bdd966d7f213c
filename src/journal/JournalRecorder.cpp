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
        write(JournalEntry(now()).addText("sent", command).addNumber("result", result).addText("source", commandSourceName(source)));
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
        modules += JournalEntry::jsonString(codes[i]) + ": [" + JournalEntry::jsonNumber(r.Gain) + ", "
                   + JournalEntry::jsonNumber(r.Offset) + ", " + JournalEntry::jsonNumber(r.value) + ", "
                   + JournalEntry::jsonNumber(r.Umon) + ", " + JournalEntry::jsonNumber(r.Imon) + ", "
                   + QByteArray::number(r.OnOff) + "]";
    }
    modules += "}";
    write(JournalEntry(now()).addJson("read", modules));
}

void JournalRecorder::connection(bool connected, const QString &port)
{
    if (!isOn())
        return;
    JournalEntry entry(now());
    entry.addText("event", connected ? QStringLiteral("connected") : QStringLiteral("disconnected"));
    if (connected)
        entry.addText("port", port);
    write(entry);
}

void JournalRecorder::profile(bool saved, const QString &path)
{
    if (isOn())
        write(JournalEntry(now())
                  .addText("event", saved ? QStringLiteral("profile saved") : QStringLiteral("profile loaded"))
                  .addText("path", path));
}

void JournalRecorder::rampStarted(int steps)
{
    if (isOn())
        write(JournalEntry(now()).addText("event", QStringLiteral("ramp started")).addNumber("steps", steps));
}

void JournalRecorder::rampEnded(int stepsDone, bool complete)
{
    if (isOn())
        write(JournalEntry(now())
                  .addText("event", QStringLiteral("ramp ended"))
                  .addNumber("steps", stepsDone)
                  .addFlag("complete", complete));
}

void JournalRecorder::ivStarted(const QString &folder, int steps, const QString &settings)
{
    if (isOn())
        write(JournalEntry(now())
                  .addText("event", QStringLiteral("iv started"))
                  .addText("folder", folder)
                  .addNumber("steps", steps)
                  .addText("settings", settings));
}

void JournalRecorder::ivEnded(const QString &folder, int stepsDone, bool complete, int framesLost, const QString &error)
{
    if (!isOn())
        return;
    JournalEntry entry(now());
    entry.addText("event", QStringLiteral("iv ended"))
        .addText("folder", folder)
        .addNumber("steps", stepsDone)
        .addFlag("complete", complete)
        .addNumber("frames_lost", framesLost);
    if (!error.isEmpty())
        entry.addText("error", error);
    write(entry);
}

void JournalRecorder::message(const QString &title, const QString &text)
{
    if (isOn())
        write(JournalEntry(now()).addJson("message", "{\"title\": " + JournalEntry::jsonString(title)
                                                      + ", \"text\": " + JournalEntry::jsonString(text) + "}"));
}

void JournalRecorder::remoteCommand(const QString &client, const QString &line, const QString &answer)
{
    if (isOn())
        write(JournalEntry(now())
                  .addText("command", line)
                  .addText("source", commandSourceName(CommandSource::Network))
                  .addText("client", client)
                  .addText("answer", answer));
}
