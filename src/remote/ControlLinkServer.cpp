#include "remote/ControlLinkServer.h"

#include "core/Conversions.h"
#include "core/PrivateSocket.h"
#include "core/RuntimeDirectory.h"
#include "remote/ControlLink.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSocketName = QStringLiteral("Control");
constexpr std::size_t kMaxPendingLinkErrors = 16; // more in one event-loop turn add nothing for the operator

} // namespace

ControlLinkServer::ControlLinkServer(ControlLink &link, SupplyModel &model, QObject *parent)
    : QObject(parent), m_link(link), m_grammar(link, model), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &ControlLinkServer::acceptConnections);
}

ControlLinkServer::~ControlLinkServer()
{
    // The window may already be half gone: no link handler runs from here.
    for (const auto &conversation : m_conversations) {
        conversation->socket->disconnect(this);
        conversation->socket->abort();
    }
    m_server->close();
}

bool ControlLinkServer::listen()
{
    if (m_server->isListening())
        return true;
    m_errorString.clear();
    m_socketPath = RuntimeDirectory::filePath(kSocketName);
    if (m_socketPath.isEmpty()) {
        m_errorString = tr("no private runtime folder for the control link");
        return false;
    }
    return PrivateSocket::listen(*m_server, m_socketPath, m_errorString);
}

void ControlLinkServer::close()
{
    m_server->close(); // removes the socket file
    for (const auto &conversation : m_conversations) {
        if (conversation->ended)
            continue;
        conversation->socket->disconnect(this);
        conversation->socket->abort();
        endConversation(conversation.get());
    }
    removeEndedConversations();
}

bool ControlLinkServer::isListening() const
{
    return m_server->isListening();
}

int ControlLinkServer::conversationCount() const
{
    int count = 0;
    for (const auto &conversation : m_conversations) {
        if (!conversation->ended)
            ++count;
    }
    return count;
}

void ControlLinkServer::notifyItemChanged(const QString &item, const QString &text)
{
    const QString line = LinkGrammar::changedLine(item, text);
    // By index: a send may end a conversation, but nothing is removed from the list here.
    for (std::size_t i = 0; i < m_conversations.size(); ++i) {
        Conversation *conversation = m_conversations[i].get();
        if (!conversation->ended && conversation->advised.contains(item))
            send(conversation, line);
    }
}

void ControlLinkServer::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (conversationCount() >= kMaxConversations) {
            refuseConnection(socket);
            continue;
        }
        auto conversation = std::make_unique<Conversation>();
        conversation->socket = socket;
        // Qt stops reading from the kernel when this fills, so a client that sends without end
        // is held back by the kernel instead of filling our memory.
        socket->setReadBufferSize(kSocketReadBufferBytes);
        const auto resume = [this, socket]() {
            if (Conversation *found = find(socket)) {
                pumpAnswer(found);
                processInput(found);
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, resume);
        connect(socket, &QLocalSocket::bytesWritten, this, resume); // output drained below the pause mark
        connect(socket, &QLocalSocket::disconnected, this, [this, socket]() {
            if (Conversation *found = find(socket)) {
                // A client may send its lines and close at once ("echo ... | socat"): what
                // arrived is still carried out, though no answer can reach it any more.
                processInput(found);
                if (Conversation *still = find(socket)) // the input handling may have ended and purged it
                    endConversation(still);
            }
        });
        Conversation *added = conversation.get();
        m_conversations.push_back(std::move(conversation));
        m_link.conversationOpened();
        processInput(added); // bytes may have arrived with the connection
    }
}

void ControlLinkServer::refuseConnection(QLocalSocket *socket)
{
    const QString answer = LinkGrammar::errorLine(LinkGrammar::kErrorTooManyConversations, tr("too many conversations")) + QLatin1Char('\n');
    socket->write(answer.toUtf8());
    socket->flush(); // without waiting: a fresh socket's kernel buffer takes the short line
    socket->abort();
    socket->deleteLater();
    raiseLinkError(LinkGrammar::kErrorTooManyConversations);
}

void ControlLinkServer::processInput(Conversation *conversation)
{
    if (conversation->processing || conversation->ended)
        return; // the outer call (below a nested event loop) goes on when it resumes
    conversation->processing = true;
    QLocalSocket *socket = conversation->socket;
    while (!conversation->ended) {
        if (socket->bytesToWrite() >= kOutputPauseBytes || conversation->answerRest)
            break; // bytesWritten resumes
        const qsizetype lineFeed = conversation->buffer.indexOf('\n');
        if (lineFeed >= 0) {
            const QByteArray line = conversation->buffer.left(lineFeed);
            conversation->buffer.remove(0, lineFeed + 1);
            handleLine(conversation, line);
            continue;
        }
        if (conversation->buffer.size() > kMaxLineBytes + 1) { // + 1: a CR may still precede the LF
            conversation->buffer.clear();
            conversation->discarding = true;
            send(conversation, LinkGrammar::lineTooLongError());
            raiseLinkError(LinkGrammar::kErrorLineTooLong);
            continue;
        }
        const QByteArray chunk = socket->read(kReadChunkBytes);
        if (chunk.isEmpty())
            break;
        if (conversation->discarding) {
            const qsizetype end = chunk.indexOf('\n');
            if (end < 0)
                continue;
            conversation->discarding = false;
            conversation->buffer.append(chunk.mid(end + 1));
        } else {
            conversation->buffer.append(chunk);
        }
    }
    conversation->processing = false;
    if (conversation->ended)
        removeEndedConversations();
}

void ControlLinkServer::handleLine(Conversation *conversation, const QByteArray &rawLine)
{
    const LinkGrammar::Decoded decoded = LinkGrammar::decode(rawLine);
    if (decoded.error) {
        send(conversation, decoded.errorLine);
        raiseLinkError(*decoded.error);
        return;
    }
    answer(conversation, m_grammar.handle(conversation, decoded.text, conversation->advised, CommandSource::Control));
}

void ControlLinkServer::endConversation(Conversation *conversation)
{
    if (conversation->ended)
        return;
    conversation->ended = true;
    conversation->answerRest = nullptr;
    conversation->held.clear();
    m_grammar.conversationEnded(conversation);
    conversation->advised.clear();
    conversation->buffer.clear();
    m_link.conversationClosed();
    if (!m_purgeScheduled) {
        m_purgeScheduled = true;
        QMetaObject::invokeMethod(this, &ControlLinkServer::removeEndedConversations, Qt::QueuedConnection);
    }
}

void ControlLinkServer::removeEndedConversations()
{
    m_purgeScheduled = false;
    for (auto it = m_conversations.begin(); it != m_conversations.end();) {
        Conversation *conversation = it->get();
        if (conversation->ended && !conversation->processing) {
            conversation->socket->disconnect(this);
            conversation->socket->abort();
            conversation->socket->deleteLater();
            it = m_conversations.erase(it);
        } else {
            ++it;
        }
    }
}

void ControlLinkServer::send(Conversation *conversation, const QString &line)
{
    if (conversation->answerRest) {
        conversation->held.append(line); // after the answer that is going out
        conversation->heldBytes += line.size() + 1;
        if (conversation->heldBytes > kOutputLimitBytes)
            dropClient(conversation); // a client that asks for changes but never reads
        return;
    }
    write(conversation, line);
}

void ControlLinkServer::answer(Conversation *conversation, LinkAnswer reply)
{
    write(conversation, reply.first);
    if (!reply.next || conversation->ended)
        return;
    conversation->answerRest = std::move(reply.next);
    pumpAnswer(conversation);
}

void ControlLinkServer::pumpAnswer(Conversation *conversation)
{
    if (conversation->pumping || !conversation->answerRest)
        return;
    conversation->pumping = true;
    // Writing may run the socket's signals: the input waits (answerRest is still set) and the
    // conversation is not purged under our feet while `processing` holds.
    const bool wasProcessing = std::exchange(conversation->processing, true);
    // As fast as the client reads: a long answer never holds more than the pause mark here.
    while (conversation->answerRest && !conversation->ended
           && conversation->socket->bytesToWrite() < kOutputPauseBytes) {
        const std::optional<QString> line = conversation->answerRest();
        if (!line) {
            const QStringList held = std::exchange(conversation->held, {});
            conversation->heldBytes = 0;
            for (const QString &waiting : held)
                write(conversation, waiting);
            conversation->answerRest = nullptr;
            break;
        }
        write(conversation, *line);
    }
    conversation->processing = wasProcessing;
    conversation->pumping = false; // an ended conversation goes with the purge endConversation queued
}

void ControlLinkServer::write(Conversation *conversation, const QString &line)
{
    QLocalSocket *socket = conversation->socket;
    if (conversation->ended || socket->state() != QLocalSocket::ConnectedState)
        return;
    socket->write(line.toUtf8() + '\n');
    // Into the kernel now, without waiting: Qt drops unwritten output when the peer half-closes
    // (a client that sends its lines and then ends its input), so it must not stay in Qt's buffer.
    socket->flush();
    if (socket->bytesToWrite() > kOutputLimitBytes)
        dropClient(conversation); // a client that advises but never reads would grow our output
}

void ControlLinkServer::dropClient(Conversation *conversation)
{
    conversation->socket->disconnect(this);
    conversation->socket->abort();
    endConversation(conversation);
}

void ControlLinkServer::raiseLinkError(ErrorNumber number)
{
    // Raised from the event loop, not from inside the input handling: the message box runs a
    // nested event loop, and the client gets its ERROR answer before the operator the box.
    if (m_pendingLinkErrors.size() >= kMaxPendingLinkErrors)
        return;
    m_pendingLinkErrors.push_back(number);
    if (m_pendingLinkErrors.size() == 1)
        QMetaObject::invokeMethod(this, &ControlLinkServer::raisePendingLinkErrors, Qt::QueuedConnection);
}

void ControlLinkServer::raisePendingLinkErrors()
{
    std::vector<qint16> errors;
    errors.swap(m_pendingLinkErrors);
    if (errors.empty())
        return;
    // One message for a burst: the operator reads one box, the rest of the burst is counted.
    m_link.countSuppressedErrors(int(errors.size()) - 1);
    m_link.reportError(errors.front());
}

ControlLinkServer::Conversation *ControlLinkServer::find(const QLocalSocket *socket) const
{
    for (const auto &conversation : m_conversations) {
        if (conversation->socket == socket)
            return conversation.get();
    }
    return nullptr;
}

void ControlLinkServer::sendTo(const void *conversation, const QString &line)
{
    for (const auto &candidate : m_conversations)
        if (candidate.get() == conversation)
            send(candidate.get(), line);
}
