#include "journal/JournalFiles.h"

#include <QDateTime>
#include <QDir>

namespace JournalFiles {

QString defaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) // as the XDG rules say: ignored then
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tavrel");
}

QString fileNameFor(qint64 msecsSinceEpoch)
{
    const QDate day = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).date();
    return QStringLiteral("journal-%1.jsonl").arg(day.toString(Qt::ISODate));
}

} // namespace JournalFiles
