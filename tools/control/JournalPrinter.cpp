#include "JournalPrinter.h"

#include "journal/JournalFiles.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <algorithm>

namespace {
constexpr qint64 kReadChunkBytes = 64 * 1024;

QString todaysPath(const QString &folder)
{
    return folder + QLatin1Char('/') + JournalFiles::fileNameFor(QDateTime::currentMSecsSinceEpoch());
}
} // namespace

int JournalPrinter::run(bool follow, QTextStream &out, QTextStream &err)
{
    QString path = todaysPath(m_folder);
    QFile file(path);
    if (!follow) {
        if (!file.open(QIODevice::ReadOnly)) {
            err << "tavrel-control: no journal of today: " << path << " (" << file.errorString() << ")\n";
            return 1;
        }
        while (!file.atEnd())
            out << QString::fromUtf8(file.read(kReadChunkBytes));
        return 0;
    }
    QByteArray pending; // the start of a line the program is still writing
    bool saidOff = false;
    for (;;) {
        if (!file.isOpen())
            file.open(QIODevice::ReadOnly); // it appears with the first line of the day
        bool more = false;
        if (file.isOpen()) {
            // A partial line is read again from its start: the program may have cut it back (a
            // failed write, a crash) and written whole lines in its place.
            const qint64 known = pending.size();
            if (known > 0) {
                file.seek(std::max<qint64>(0, file.pos() - known));
                pending.clear();
            }
            const QByteArray bytes = file.read(known + kReadChunkBytes);
            more = bytes.size() > known;
            pending += bytes;
            const qsizetype end = pending.lastIndexOf('\n');
            if (end >= 0) { // whole lines only
                out << QString::fromUtf8(pending.left(end + 1));
                out.flush();
                pending.remove(0, end + 1);
            }
        }
        if (more)
            continue;
        if (!saidOff && m_journalOn && !m_journalOn()) {
            err << "tavrel-control: the journal is off; waiting for its lines. Turn it on in tavrel with "
                   "\"Tools\" > \"Journal\" (settings [Journal] Enabled=1).\n";
            err.flush();
            saidOff = true;
        }
        const QString now = todaysPath(m_folder);
        if (now != path) {
            file.close(); // a new day: its file from the start
            pending.clear();
            path = now;
            file.setFileName(path);
            continue;
        }
        QThread::msleep(kPollMs);
    }
}
