#pragma once

#include "core/CommandSource.h"
#include "remote/LinkExtension.h"

#include <QSet>
#include <QString>

#include <optional>
#include <vector>

class ControlLink;
class SupplyModel;

// The control link's lines, whatever carries them (the local socket, the lab network): one line
// of a conversation to its answer.
//   EXECUTE <command>      -> OK
//   POKE <item> <text>     -> OK
//   REQUEST <item>         -> DATA <text>
//   ADVISE <item>          -> OK, then CHANGED <item> <text> on every change (the transport's)
//   UNADVISE <item>        -> OK
// and the verbs of the extensions. Anything that cannot be carried out is answered
// "ERROR <number> <text>" and changes nothing.
class LinkGrammar
{
public:
    enum ErrorNumber : qint16 {
        kErrorUnknownCommand = 1,
        kErrorMissingArgument = 2,
        kErrorUnknownItem = 3,
        kErrorNotPokeable = 4,
        kErrorControlCharacter = 5,
        kErrorLineTooLong = 6,
        kErrorInvalidUtf8 = 7,
        kErrorTooManyConversations = 8,
        // 9 to 12 are the ramp's and the history's; 13 and 14 are ControlLink's refusals;
        // 15 and 16 the lab network's.
    };
    static constexpr qsizetype kMaxLineBytes = 4096; // without the LF

    LinkGrammar(ControlLink &link, SupplyModel &model);

    // A further part of the protocol (the ramp's RAMP and ACK, HISTORY); asked in the order added.
    void addExtension(LinkExtension *extension);
    // Carries out one line of `conversation` (decoded, without its line end). ADVISE and
    // UNADVISE change `advised`, the items whose changes the conversation hears of.
    // What the line sends to the supply counts as `source`'s (the journal).
    LinkAnswer handle(const void *conversation, const QString &line, QSet<QString> &advised, CommandSource source);
    // Every item a client can read: the model's, then the extensions'.
    QStringList itemNames() const;
    QStringList extensionItemNames() const;
    std::optional<QString> itemText(const QString &item) const;
    // Raw bytes of one line: too long or not UTF-8 gives the error answer, else the text.
    struct Decoded
    {
        QString text;
        std::optional<ErrorNumber> error;
        QString errorLine;
    };
    static Decoded decode(const QByteArray &line);
    // The conversation ended: a ramp it started stops.
    void conversationEnded(const void *conversation);

    // Whether `line` only reads (REQUEST, ADVISE, UNADVISE, HISTORY): what a peer that may not
    // control the supply may still send.
    static bool onlyReads(const QString &line);
    // "CHANGED <item> <text>", its text one line.
    static QString changedLine(const QString &item, const QString &text);
    static QString errorLine(qint16 number, const QString &text);
    // The answer to a line longer than kMaxLineBytes.
    static QString lineTooLongError();
    static bool containsControlCharacter(const QString &text);

private:
    LinkAnswer poke(const QString &argument, CommandSource source);

    ControlLink &m_link;
    SupplyModel &m_model;
    std::vector<LinkExtension *> m_extensions;
};
