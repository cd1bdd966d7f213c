#include "journal/Journal.h"
#include "journal/JournalEntry.h"
#include "journal/JournalFiles.h"
#include "journal/JournalWriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>

#include <semaphore.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kLines = 2000;
constexpr int kWaitMs = 10000;
constexpr rlim_t kFileSizeLimitBytes = 4096;
constexpr int kStuckLines = 5;

QList<QByteArray> linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The "n" of a line; -1 unless it is a whole JSON object.
int numberOf(const QByteArray &line)
{
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
    return error.error == QJsonParseError::NoError ? object.value(QStringLiteral("n")).toInt(-1) : -1;
}

void recordNumber(Journal &journal, int n, qint64 msecs = QDateTime::currentMSecsSinceEpoch())
{
    journal.record(msecs, JournalEntry(msecs).addNumber("n", n).line());
}

pid_t writerThreadId()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == JournalWriter::kThreadName)
            return tid.toInt();
    }
    return 0;
}

// A file size limit for this process while it lives: writes beyond it fail as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = SIG_DFL;
};

// Holds the journal's writer thread as a disk that stops answering would: a signal handler on
// that thread waits until released. Sent while the writer is idle, it holds no lock then.
std::atomic<int> g_writerHeld{0};
sem_t g_writerRelease;

void waitForRelease(int)
{
    const int savedErrno = errno;
    g_writerHeld = 1;
    while (::sem_wait(&g_writerRelease) != 0 && errno == EINTR) {
    }
    errno = savedErrno;
}

// Only while the writer is idle: after waitWritten().
bool holdWriter()
{
    const pid_t tid = writerThreadId();
    return tid != 0 && ::syscall(SYS_tgkill, ::getpid(), tid, SIGUSR1) == 0
           && QTest::qWaitFor([] { return g_writerHeld.load() != 0; }, kWaitMs);
}

void releaseWriter()
{
    if (g_writerHeld.exchange(0) != 0)
        ::sem_post(&g_writerRelease);
}

} // namespace

class JournalTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ::sem_init(&g_writerRelease, 0, 0);
        std::signal(SIGUSR1, waitForRelease);
    }
    void cleanup() { releaseWriter(); }

    void linesReachTodaysFileInOrder()
    {
        QTemporaryDir folder;
        Journal journal;
        journal.setFolder(folder.path() + QStringLiteral("/state/tavrel"));
        journal.record(QDateTime::currentMSecsSinceEpoch(), "{\"off\": 1}\n"); // off: not written
        journal.setEnabled(true);
        const QString text = QStringLiteral("quote \" backslash \\ line\nbreak\ttab \x01 µ");
        for (int i = 0; i < kLines; ++i) {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            journal.record(now, JournalEntry(now).addNumber("n", i).addText("text", text).line());
        }
        QVERIFY(journal.waitWritten(kWaitMs));
        const QList<QByteArray> lines = linesOf(journal.currentPath());
        QCOMPARE(lines.size(), kLines);
        for (int i = 0; i < kLines; ++i) {
            QJsonParseError error;
            const QJsonObject object = QJsonDocument::fromJson(lines[i], &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, lines[i].constData());
            QCOMPARE(object.value(QStringLiteral("n")).toInt(), i);
            QCOMPARE(object.value(QStringLiteral("text")).toString(), text);
            QVERIFY(QDateTime::fromString(object.value(QStringLiteral("t")).toString(), Qt::ISODateWithMs).isValid());
        }
        // The folder is the user's own, the file too.
        QCOMPARE(QFile::permissions(journal.folder()) & 0x0077, QFileDevice::Permissions());
        QCOMPARE(QFile::permissions(journal.currentPath()) & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());

        // A line of another day goes to that day's file.
        const qint64 tomorrow = QDateTime::currentDateTime().addDays(1).toMSecsSinceEpoch();
        journal.record(tomorrow, JournalEntry(tomorrow).addText("day", QStringLiteral("next")).line());
        QVERIFY(journal.waitWritten(kWaitMs));
        QCOMPARE(linesOf(journal.folder() + QLatin1Char('/') + JournalFiles::fileNameFor(tomorrow)).size(), 1);
    }

    void aFullDiskLeavesWholeLinesAndOneMessage()
    {
        QTemporaryDir folder;
        Journal journal;
        journal.setFolder(folder.path());
        QSignalSpy failed(&journal, &Journal::failed);
        QSignalSpy enabled(&journal, &Journal::enabledChanged);
        journal.setEnabled(true);
        {
            const FileSizeLimit limit(kFileSizeLimitBytes);
            for (int i = 0; i < kLines; ++i)
                recordNumber(journal, i);
            QVERIFY(failed.wait(kWaitMs));
        }
        QVERIFY(!journal.isEnabled());
        QCOMPARE(enabled.size(), 2);
        QCOMPARE(enabled.last().at(0).toBool(), false);
        QVERIFY(failed.first().at(0).toString().contains(journal.currentPath()));
        // Nothing more is recorded, nor said.
        journal.record(QDateTime::currentMSecsSinceEpoch(), "{}\n");
        QVERIFY(journal.waitWritten(kWaitMs));
        QCoreApplication::sendPostedEvents(&journal, QEvent::MetaCall);
        QCOMPARE(failed.size(), 1);

        // Whole lines only, in order: the one the disk cut short is cut back. So is a partial
        // line a run cut short (a power cut) left, when the file is opened again.
        QFile file(journal.currentPath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.readAll().endsWith('\n'));
        const int written = int(linesOf(file.fileName()).size());
        file.write("{\"t\": \"2026-12-0");
        file.close();
        journal.setEnabled(true);
        recordNumber(journal, written);
        QVERIFY(journal.waitWritten(kWaitMs));
        const QList<QByteArray> lines = linesOf(file.fileName());
        QCOMPARE(lines.size(), written + 1);
        for (int i = 0; i <= written; ++i)
            QCOMPARE(numberOf(lines[i]), i);
    }

    void aFailureEndsOnlyItsOwnSession()
    {
        QTemporaryDir folder;
        Journal journal;
        journal.setFolder(folder.path());
        QSignalSpy failed(&journal, &Journal::failed);
        journal.setEnabled(true);
        {
            const FileSizeLimit limit(kFileSizeLimitBytes);
            for (int i = 0; i < kLines; ++i)
                recordNumber(journal, i);
            QVERIFY(journal.waitWritten(kWaitMs)); // failed; the news waits in the event queue
        }
        // Off and on before the news arrives: the later session goes on, its line is written.
        journal.setEnabled(false);
        journal.setEnabled(true);
        const qint64 tomorrow = QDateTime::currentDateTime().addDays(1).toMSecsSinceEpoch();
        recordNumber(journal, 0, tomorrow);
        QVERIFY(journal.waitWritten(kWaitMs));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("earlier session lost: cannot write ")));
        QCoreApplication::sendPostedEvents(&journal, QEvent::MetaCall);
        QVERIFY(journal.isEnabled());
        QCOMPARE(failed.size(), 0);
        QCOMPARE(linesOf(journal.folder() + QLatin1Char('/') + JournalFiles::fileNameFor(tomorrow)).size(), 1);
    }

    void nothingQueuedIsLostAndTheWindowNeverWaits()
    {
        QTemporaryDir folder;
        auto journal = std::make_unique<Journal>();
        journal->setFolder(folder.path());
        QSignalSpy failed(journal.get(), &Journal::failed);
        journal->setEnabled(true);
        int n = 0;
        recordNumber(*journal, n++);
        QVERIFY(journal->waitWritten(kWaitMs));

        // The disk stops answering. Turned off and on, the journal neither waits nor drops what
        // is queued; beyond the queue's bound it stops with one message, and still keeps it.
        QVERIFY(holdWriter());
        while (n < kLines)
            recordNumber(*journal, n++);
        journal->setEnabled(false);
        journal->setEnabled(true);
        while (n <= Journal::kMaxQueuedLines + 1) // the last is one too many
            recordNumber(*journal, n++);
        QVERIFY(!journal->isEnabled());
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed.first().at(0).toString().contains(QStringLiteral("does not keep up")));
        releaseWriter();
        QVERIFY(journal->waitWritten(kWaitMs));
        const QList<QByteArray> lines = linesOf(journal->currentPath());
        QCOMPARE(lines.size(), Journal::kMaxQueuedLines + 1);
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(numberOf(lines[i]), i);

        // At exit, what the disk does not take in time is counted on standard error.
        journal->setEnabled(true);
        QVERIFY(holdWriter());
        for (int i = 0; i < kStuckLines; ++i)
            recordNumber(*journal, n++);
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("tavrel: journal lines lost at exit: %1 (the disk "
                                                                     "did not take them within %2 ms)")
                                                          .arg(kStuckLines)
                                                          .arg(Journal::kExitWaitMs)));
        journal.reset();
        releaseWriter();
        QTRY_VERIFY_WITH_TIMEOUT(writerThreadId() == 0, kWaitMs); // the writer left behind ends
    }

    void aFolderThatCannotBeMadeOrAFifoStopsIt()
    {
        QTemporaryDir folder;
        QFile blocker(folder.path() + QStringLiteral("/tavrel"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();

        Journal journal;
        journal.setFolder(blocker.fileName());
        QSignalSpy failed(&journal, &Journal::failed);
        journal.setEnabled(true);
        journal.record(QDateTime::currentMSecsSinceEpoch(), "{}\n");
        QVERIFY(failed.wait(kWaitMs));
        QVERIFY(!journal.isEnabled());

        // A FIFO in place of today's file neither blocks nor is written.
        journal.setFolder(folder.path());
        QVERIFY(::mkfifo(QFile::encodeName(journal.currentPath()).constData(), 0600) == 0);
        journal.setEnabled(true);
        journal.record(QDateTime::currentMSecsSinceEpoch(), "{}\n");
        QVERIFY(failed.wait(kWaitMs));
        QVERIFY(failed.last().at(0).toString().contains(QStringLiteral("not a regular file")));
        QVERIFY(!journal.isEnabled());
    }
};

QTEST_GUILESS_MAIN(JournalTest)
#include "JournalTest.moc"
