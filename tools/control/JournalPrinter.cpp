#include "JournalPrinter.h"

#include "journal/JournalFiles.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <QThread>

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
    for (;;) {
        if (!file.isOpen())
            file.open(QIODevice::ReadOnly); // it appears with the first line of the day
        if (file.isOpen()) {
            // Whole lines only: the program may be in the middle of one.
            while (file.canReadLine())
                out << QString::fromUtf8(file.readLine());
            out.flush();
        }
        const QString now = todaysPath(m_folder);
        if (now != path && (!file.isOpen() || !file.canReadLine())) {
            file.close(); // a new day: its file from the start
            path = now;
            file.setFileName(path);
            continue;
        }
        QThread::msleep(kPollMs);
    }
}
