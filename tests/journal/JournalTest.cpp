#include "journal/Journal.h"
#include "journal/JournalEntry.h"
#include "journal/JournalFiles.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

constexpr int kLines = 2000;
constexpr int kWaitMs = 10000;
constexpr rlim_t kFileSizeLimitBytes = 4096;

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

} // namespace

class JournalTest : public QObject
{
    Q_OBJECT

private slots:
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

    void aFullDiskStopsTheJournalWithOneMessage()
    {
        QTemporaryDir folder;
        Journal journal;
        journal.setFolder(folder.path());
        QSignalSpy failed(&journal, &Journal::failed);
        QSignalSpy enabled(&journal, &Journal::enabledChanged);
        journal.setEnabled(true);
        {
            const FileSizeLimit limit(kFileSizeLimitBytes);
            for (int i = 0; i < kLines; ++i) {
                const qint64 now = QDateTime::currentMSecsSinceEpoch();
                journal.record(now, JournalEntry(now).addNumber("n", i).line());
            }
            QVERIFY(failed.wait(kWaitMs));
        }
        QVERIFY(!journal.isEnabled());
        QCOMPARE(enabled.size(), 2);
        QCOMPARE(enabled.last().at(0).toBool(), false);
        QVERIFY(failed.first().at(0).toString().contains(journal.currentPath()));
        // Whole lines only up to the limit, in order; nothing more is recorded afterwards.
        const QList<QByteArray> lines = linesOf(journal.currentPath());
        QVERIFY(!lines.isEmpty());
        for (int i = 0; i < lines.size() - 1; ++i)
            QCOMPARE(QJsonDocument::fromJson(lines[i]).object().value(QStringLiteral("n")).toInt(), i);
        journal.record(QDateTime::currentMSecsSinceEpoch(), "{}\n");
        // Written or refused by now, and a failure it caused is already posted to us.
        QVERIFY(journal.waitWritten(kWaitMs));
        QCoreApplication::processEvents();
        QCOMPARE(failed.size(), 1);
        QCOMPARE(linesOf(journal.currentPath()).size(), lines.size());
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
