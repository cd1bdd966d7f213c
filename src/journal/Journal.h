#pragma once

#include "core/CommandSource.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class JournalWriter;

// The journal: one JSON object a line, appended to <folder>/journal-YYYY-MM-DD.jsonl, a new file
// each local day. Off until enabled. A thread of its own writes, so the window thread never
// waits for the disk (but at exit, briefly), and writes the lines in the order they were
// recorded, also what was queued when the journal was turned off. A line that cannot be written
// stops the journal: `failed` says why, once, and nothing more is recorded.
class Journal : public QObject
{
    Q_OBJECT
public:
    // Lines recorded but not yet written; beyond this the disk is not keeping up.
    static constexpr int kMaxQueuedLines = 10000;
    // At exit, what is queued gets this long to reach the disk.
    static constexpr int kExitWaitMs = 1000;

    explicit Journal(QObject *parent = nullptr);
    // Writes what is queued, waiting at most kExitWaitMs; says on standard error how many lines
    // were lost if any were.
    ~Journal() override;

    // JournalFiles::defaultFolder() unless set.
    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    // The file today's lines go to.
    QString currentPath() const;

    bool isEnabled() const { return m_enabled; }
    // Turned off, it records nothing more; what is queued is still written, in the background.
    void setEnabled(bool enabled);

    // Appends a line made by JournalEntry, if enabled.
    void record(qint64 msecsSinceEpoch, const QByteArray &line);
    // Waits (at most `timeoutMs`) until every line recorded so far is written (or dropped by a
    // failure); false on time-out.
    bool waitWritten(int timeoutMs);

signals:
    void enabledChanged(bool enabled);
    // Each line as it is recorded (the lab network publishes it).
    void lineRecorded(const QByteArray &line);
    // The journal stopped itself; the text says what could not be written.
    void failed(const QString &message);

private:
    void writeFailed(quint64 session, const QString &path, const QString &error);
    void stopAfterFailure(const QString &message);

    QString m_folder;
    bool m_enabled = false;
    quint64 m_session = 0;            // the writer's session of the latest turn on
    bool m_failureReported = false;   // in this session
    std::shared_ptr<JournalWriter> m_writer; // made when first enabled
};
