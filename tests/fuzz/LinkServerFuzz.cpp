#include "LinkServerFuzz.h"

#include "FuzzCheck.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

// Each round ends with a request of this item, which holds the round's marker.
const QString kMarkerItem = SupplyModel::kPortCaptionItem;

bool isAnswer(const QString &line)
{
    if (line == QLatin1String("OK"))
        return true;
    for (const char *start : {"DATA ", "ERROR ", "CHANGED "}) {
        if (line.startsWith(QLatin1String(start)))
            return true;
    }
    return false;
}

} // namespace

LinkServerFuzz::LinkServerFuzz() : m_link(m_host, m_state, m_ui), m_server(m_link, m_host)
{
    QObject::connect(&m_host, &SupplyModel::itemChanged, &m_server, &ControlLinkServer::notifyItemChanged);
    fuzzRequire(m_server.listen(), "the server listens", m_server.errorString());
    connectClient();
}

LinkServerFuzz::~LinkServerFuzz()
{
    m_client.abort();
    m_server.close();
}

void LinkServerFuzz::connectClient()
{
    m_client.abort();
    m_client.connectToServer(m_server.socketPath());
    fuzzRequire(m_client.waitForConnected(kAnswerWaitMs), "the client connects", m_client.errorString());
}

QStringList LinkServerFuzz::answersUntil(const QString &marker)
{
    QStringList lines;
    bool expired = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&expired] { expired = true; });
    deadline.start(kAnswerWaitMs);
    while (!expired) {
        while (m_client.canReadLine()) {
            QByteArray line = m_client.readLine();
            line.chop(1);
            lines.append(QString::fromUtf8(line));
            if (lines.constLast().endsWith(marker))
                return lines;
        }
        if (m_client.state() != QLocalSocket::ConnectedState)
            break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    fuzzRequire(false, "the server answers every line", lines.join(QLatin1Char('|')).left(400));
    return lines;
}

void LinkServerFuzz::run(const QByteArray &data)
{
    if (m_client.state() != QLocalSocket::ConnectedState)
        connectClient();
    const QString marker = QStringLiteral("marker-") + QString::fromLatin1(QByteArray::number(++m_round));
    m_items.set(kMarkerItem, marker);
    m_items.changes.clear();
    m_ui.clear(); // link errors are shown (recorded) from the event loop; keep only this round's

    m_client.write(data);
    m_client.write("\nREQUEST " + kMarkerItem.toUtf8() + '\n');
    m_client.flush();
    const QStringList answers = answersUntil(QStringLiteral("DATA ") + marker);

    for (const QString &line : answers) {
        fuzzRequire(isAnswer(line), "every answer is OK, DATA, ERROR or CHANGED", line.left(200));
        fuzzRequire(!hasControlCharacter(line), "no answer carries a control character", line.left(200));
    }
    for (const auto &poke : m_items.changes) {
        fuzzRequire(!hasControlCharacter(poke.first) && !hasControlCharacter(poke.second),
                    "no control character is poked into a field", poke.second.left(200));
        fuzzRequire(m_host.isPokeable(poke.first), "only pokeable items are poked", poke.first);
    }
    fuzzRequire(m_server.conversationCount() == 1 && m_link.openConversations() == 1,
                "one client is one conversation");
}
