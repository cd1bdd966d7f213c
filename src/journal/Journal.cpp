#include "journal/Journal.h"

#include "journal/JournalFiles.h"
#include "journal/JournalWriter.h"

#include <QDateTime>

Journal::Journal(QObject *parent) : QObject(parent), m_folder(JournalFiles::defaultFolder()) {}

Journal::~Journal()
{
    if (!m_writer)
        return; // never on
    const JournalWriter::Outcome outcome = m_writer->finish(kExitWaitMs);
    if (outcome.lost > 0) {
        const QString reason = outcome.failure.isEmpty()
                                   ? QStringLiteral("the disk did not take them within %1 ms").arg(kExitWaitMs)
                                   : outcome.failure;
        // Nobody is left to show a message to.
        qWarning("tavrel: journal lines lost at exit: %d (%s)", outcome.lost, qPrintable(reason));
    }
}

QString Journal::currentPath() const
{
    return m_folder + QLatin1Char('/') + JournalFiles::fileNameFor(QDateTime::currentMSecsSinceEpoch());
}

void Journal::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled) {
        if (!m_writer) {
            // Told on the writer thread; answered on this one. finish() silences it before this goes.
            m_writer = JournalWriter::start([this](quint64 session, const QString &path, const QString &error) {
                QMetaObject::invokeMethod(
                    this, [this, session, path, error] { writeFailed(session, path, error); }, Qt::QueuedConnection);
            });
        }
        m_session = m_writer->beginSession();
        m_failureReported = false;
    } else {
        m_writer->endSession(); // the queue drains without us waiting
    }
    emit enabledChanged(enabled);
}

void Journal::record(qint64 msecsSinceEpoch, const QByteArray &line)
{
    if (!m_enabled)
        return;
    const QString path = m_folder + QLatin1Char('/') + JournalFiles::fileNameFor(msecsSinceEpoch);
    if (!m_writer->append(path, line, kMaxQueuedLines)) {
        stopAfterFailure(tr("The journal stopped: the disk does not keep up with %1.").arg(path));
        return;
    }
    emit lineRecorded(line);
}

bool Journal::waitWritten(int timeoutMs)
{
    return !m_writer || m_writer->waitWritten(timeoutMs);
}

void Journal::writeFailed(quint64 session, const QString &path, const QString &error)
{
    m_writer->failureReported();
    if (session != m_session) {
        // Turned off and on since: the session running now stands or falls by its own lines.
        qWarning("tavrel: journal lines of an earlier session lost: cannot write %s: %s", qPrintable(path),
                 qPrintable(error));
        return;
    }
    stopAfterFailure(tr("The journal stopped: cannot write %1: %2.").arg(path, error));
}

void Journal::stopAfterFailure(const QString &message)
{
    if (m_enabled)
        setEnabled(false); // what is queued still goes to the disk, if it can
    if (m_failureReported)
        return; // one message
    m_failureReported = true;
    emit failed(message);
}
