#pragma once

#include "remote/LinkGrammar.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class SupplyModel;
class ControlLink;
class QLocalServer;
class QLocalSocket;

// The transport of the control link: a local socket <runtime>/<exe>/Control that only its user
// may reach, one connection per conversation, lines of UTF-8 text in the grammar of LinkGrammar.
// Runs on the GUI thread and never blocks on a client: input is read in bounded chunks and
// output to a client that does not read is bounded too.
class ControlLinkServer : public QObject
{
    Q_OBJECT

public:
    // The transport faults (line too long, not UTF-8, too many conversations) are also reported
    // to the operator through reportError.
    using ErrorNumber = LinkGrammar::ErrorNumber;
    static constexpr qsizetype kMaxLineBytes = LinkGrammar::kMaxLineBytes;
    static constexpr int kMaxConversations = 16;        // a further connection is refused
    static constexpr qsizetype kReadChunkBytes = 4096;  // read from a socket at a time
    static constexpr qint64 kSocketReadBufferBytes = 16 * 1024; // then the kernel holds the client back
    static constexpr qint64 kOutputPauseBytes = 64 * 1024;      // stop answering until drained
    static constexpr qint64 kOutputLimitBytes = 1024 * 1024;    // a client this far behind is dropped

    ControlLinkServer(ControlLink &link, SupplyModel &model, QObject *parent = nullptr);
    ~ControlLinkServer() override;

    // Listens on RuntimeDirectory::filePath("Control"). A stale socket file is replaced; a live
    // one (another running instance) is left alone and false is returned, as for any failure.
    bool listen();
    // Stops listening, removes the socket file and ends every conversation (conversationClosed each).
    void close();
    bool isListening() const;
    // A further part of the protocol (the ramp's RAMP and ACK, HISTORY); asked in the order added.
    void addExtension(LinkExtension *extension) { m_grammar.addExtension(extension); }
    // The grammar, which other transports of the link share.
    LinkGrammar &grammar() { return m_grammar; }
    // Sends a notification line to a conversation that is still open (STEP and END); it waits
    // behind an answer that is still going out.
    void sendTo(const void *conversation, const QString &line);
    QString socketPath() const { return m_socketPath; }
    QString errorString() const { return m_errorString; }
    int conversationCount() const;

    // The window reports every change of an item's text; advised conversations get CHANGED.
    void notifyItemChanged(const QString &item, const QString &text);

private:
    struct Conversation
    {
        QLocalSocket *socket = nullptr;
        QByteArray buffer;       // bytes of the line being read, at most kMaxLineBytes + a chunk
        bool discarding = false; // inside an overlong line: drop up to the next LF
        bool processing = false; // guards against re-entry from nested event loops
        bool ended = false;
        bool pumping = false;    // guards the answer's output against re-entry
        QSet<QString> advised;
        std::function<std::optional<QString>()> answerRest; // the lines of an answer not yet out
        QStringList held;        // notifications that wait for the end of that answer
        qint64 heldBytes = 0;
    };

    void acceptConnections();
    void refuseConnection(QLocalSocket *socket);
    void processInput(Conversation *conversation);
    void handleLine(Conversation *conversation, const QByteArray &line);
    void endConversation(Conversation *conversation);
    void removeEndedConversations();
    void send(Conversation *conversation, const QString &line);
    void write(Conversation *conversation, const QString &line);
    void dropClient(Conversation *conversation);
    void answer(Conversation *conversation, LinkAnswer answer);
    void pumpAnswer(Conversation *conversation);
    void raiseLinkError(ErrorNumber number);
    void raisePendingLinkErrors();
    Conversation *find(const QLocalSocket *socket) const;

    ControlLink &m_link;
    LinkGrammar m_grammar;
    QLocalServer *m_server = nullptr;
    QString m_socketPath;
    QString m_errorString;
    std::vector<std::unique_ptr<Conversation>> m_conversations;
    std::vector<qint16> m_pendingLinkErrors;
    bool m_purgeScheduled = false;
};
