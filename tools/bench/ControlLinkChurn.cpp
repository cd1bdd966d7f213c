#include "ControlLinkChurn.h"

#include <QElapsedTimer>
#include <QLocalSocket>

#include <optional>

namespace {
const QString kAdvisedItem = QStringLiteral("Label_UMon(0)");
const QString kRequestedItem = QStringLiteral("Text_Value(0)");
const QString kPokedItem = QStringLiteral("DA_set_voltage");
// Two control voltages taken in turn (100 eV and 150 eV at 100 eV per volt).
const QString kPokeTexts[2] = {QStringLiteral("1"), QStringLiteral("1.5")};
const QString kChanged = QStringLiteral("CHANGED ");
const QString kOk = QStringLiteral("OK");
const QString kData = QStringLiteral("DATA ");

// One answer line without its LF, or nothing when none came in time.
std::optional<QString> readLine(QLocalSocket &socket, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine()) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || socket.state() != QLocalSocket::ConnectedState || !socket.waitForReadyRead(int(left)))
            return std::nullopt;
    }
    QByteArray line = socket.readLine();
    line.chop(1);
    return QString::fromUtf8(line);
}
} // namespace

ControlLinkChurn::~ControlLinkChurn()
{
    stop();
}

void ControlLinkChurn::start()
{
    m_stop = false;
    m_finished = false;
    m_thread = std::thread([this] {
        run();
        m_finished = true;
    });
}

void ControlLinkChurn::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

ControlLinkChurn::Counts ControlLinkChurn::counts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts;
}

void ControlLinkChurn::noteUnexpected(const QString &what)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_counts.unexpected;
    if (m_counts.firstUnexpected.size() < kKeptUnexpected)
        m_counts.firstUnexpected.append(what);
}

void ControlLinkChurn::run()
{
    long long number = 0;
    while (!m_stop) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (!socket.waitForConnected(kConnectTimeoutMs)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_counts.connectFailures;
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_counts.conversations;
        }
        converse(socket, ++number);
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(kConnectTimeoutMs);
    }
}

void ControlLinkChurn::converse(QLocalSocket &socket, long long number)
{
    if (!exchange(socket, QStringLiteral("ADVISE ") + kAdvisedItem, kOk))
        return;
    if (!exchange(socket, QStringLiteral("REQUEST ") + kRequestedItem, kData))
        return;
    if (number % kPokeEvery == 0
        && !exchange(socket, QStringLiteral("POKE ") + kPokedItem + QLatin1Char(' ') + kPokeTexts[(number / kPokeEvery) % 2], kOk))
        return;
    QElapsedTimer listening;
    listening.start();
    while (listening.elapsed() < kListenMs) {
        const std::optional<QString> line = readLine(socket, int(kListenMs - listening.elapsed()));
        if (!line)
            break;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (line->startsWith(kChanged))
            ++m_counts.changedNotes;
    }
    exchange(socket, QStringLiteral("UNADVISE ") + kAdvisedItem, kOk);
}

bool ControlLinkChurn::exchange(QLocalSocket &socket, const QString &line, const QString &expectedPrefix)
{
    socket.write(line.toUtf8() + '\n');
    socket.flush();
    for (;;) {
        const std::optional<QString> answer = readLine(socket, kAnswerTimeoutMs);
        if (!answer) {
            noteUnexpected(line + QStringLiteral(" -> no answer"));
            return false;
        }
        if (answer->startsWith(kChanged)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_counts.changedNotes;
            continue;
        }
        if (!answer->startsWith(expectedPrefix)) {
            noteUnexpected(line + QStringLiteral(" -> ") + *answer);
            return false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_counts.answers;
        return true;
    }
}
