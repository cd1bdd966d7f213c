#include "remote/LinkGrammar.h"

#include "core/Conversions.h"
#include "device/SupplyModel.h"
#include "remote/ControlLink.h"

#include <QCoreApplication>
#include <QStringDecoder>

namespace {

bool isControlCharacter(QChar ch)
{
    const char16_t code = ch.unicode();
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// An item text that carried a line break would end the answer line early and forge the next
// one; such characters go out as blanks.
QString framed(QString text)
{
    for (QChar &ch : text) {
        if (isControlCharacter(ch))
            ch = QLatin1Char(' ');
    }
    return text;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("LinkGrammar", text);
}

struct Split
{
    QString verb;
    QString argument;
    bool hasArgument = false;
};

Split split(const QString &line)
{
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    Split parts;
    parts.verb = (blank < 0 ? line : line.left(blank)).toUpper();
    parts.hasArgument = blank >= 0;
    parts.argument = parts.hasArgument ? line.mid(blank + 1) : QString();
    return parts;
}

} // namespace

LinkGrammar::LinkGrammar(ControlLink &link, SupplyModel &model) : m_link(link), m_model(model) {}

void LinkGrammar::addExtension(LinkExtension *extension)
{
    m_extensions.push_back(extension);
}

bool LinkGrammar::containsControlCharacter(const QString &text)
{
    for (const QChar ch : text) {
        if (isControlCharacter(ch))
            return true;
    }
    return false;
}

QString LinkGrammar::errorLine(qint16 number, const QString &text)
{
    return QStringLiteral("ERROR ") + StrOf(number) + QLatin1Char(' ') + text;
}

QString LinkGrammar::changedLine(const QString &item, const QString &text)
{
    return QStringLiteral("CHANGED ") + item + QLatin1Char(' ') + framed(text);
}

QString LinkGrammar::lineTooLongError()
{
    return errorLine(kErrorLineTooLong, tr("line longer than %1 bytes").arg(StrOf(float(kMaxLineBytes))));
}

LinkGrammar::Decoded LinkGrammar::decode(const QByteArray &rawLine)
{
    QByteArray line = rawLine;
    if (line.endsWith('\r'))
        line.chop(1);
    Decoded decoded;
    if (line.size() > kMaxLineBytes) {
        decoded.error = kErrorLineTooLong;
        decoded.errorLine = lineTooLongError();
        return decoded;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    decoded.text = decoder.decode(line);
    if (decoder.hasError()) {
        decoded.error = kErrorInvalidUtf8;
        decoded.errorLine = errorLine(kErrorInvalidUtf8, tr("line is not valid UTF-8"));
    }
    return decoded;
}

bool LinkGrammar::onlyReads(const QString &line)
{
    const QString verb = split(line).verb;
    return verb == QLatin1String("REQUEST") || verb == QLatin1String("ADVISE") || verb == QLatin1String("UNADVISE")
           || verb == QLatin1String("HISTORY");
}

void LinkGrammar::conversationEnded(const void *conversation)
{
    for (LinkExtension *extension : m_extensions)
        extension->conversationEnded(conversation);
}

std::optional<QString> LinkGrammar::itemText(const QString &item) const
{
    for (const LinkExtension *extension : m_extensions)
        if (std::optional<QString> text = extension->itemText(item))
            return text;
    return m_model.itemText(item);
}

QStringList LinkGrammar::extensionItemNames() const
{
    QStringList names;
    for (const LinkExtension *extension : m_extensions)
        names += extension->itemNames();
    return names;
}

QStringList LinkGrammar::itemNames() const
{
    return SupplyModel::itemNames() + extensionItemNames();
}

LinkAnswer LinkGrammar::handle(const void *conversation, const QString &line, QSet<QString> &advised,
                               CommandSource source)
{
    if (containsControlCharacter(line))
        return errorLine(kErrorControlCharacter, tr("control character in the line"));
    const Split parts = split(line);

    for (LinkExtension *extension : m_extensions) {
        if (std::optional<LinkAnswer> reply = extension->handle(conversation, parts.verb, parts.argument))
            return std::move(*reply);
    }
    if (parts.verb == QLatin1String("EXECUTE")) {
        if (!parts.hasArgument)
            return errorLine(kErrorMissingArgument, tr("EXECUTE needs a command"));
        if (const std::optional<ControlLink::Refusal> refusal = m_link.execute(parts.argument, source))
            return errorLine(refusal->number, refusal->text);
        return QStringLiteral("OK");
    }
    if (parts.verb == QLatin1String("POKE")) {
        if (!parts.hasArgument)
            return errorLine(kErrorMissingArgument, tr("POKE needs an item and a text"));
        return poke(parts.argument, source);
    }
    const bool isRequest = parts.verb == QLatin1String("REQUEST");
    const bool isAdvise = parts.verb == QLatin1String("ADVISE");
    const bool isUnadvise = parts.verb == QLatin1String("UNADVISE");
    if (!isRequest && !isAdvise && !isUnadvise)
        return errorLine(kErrorUnknownCommand, tr("unknown command"));
    if (parts.argument.isEmpty())
        return errorLine(kErrorMissingArgument, tr("%1 needs an item").arg(parts.verb));
    const std::optional<QString> text = itemText(parts.argument);
    if (!text)
        return errorLine(kErrorUnknownItem, tr("unknown item %1").arg(parts.argument));
    if (isRequest)
        return QStringLiteral("DATA ") + framed(*text);
    if (isAdvise)
        advised.insert(parts.argument);
    else
        advised.remove(parts.argument);
    return QStringLiteral("OK");
}

LinkAnswer LinkGrammar::poke(const QString &argument, CommandSource source)
{
    const qsizetype blank = argument.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return errorLine(kErrorMissingArgument, tr("POKE needs an item and a text"));
    const QString item = argument.left(blank);
    const QString text = argument.mid(blank + 1);
    for (LinkExtension *extension : m_extensions) {
        if (extension->pokeItem(item, text))
            return QStringLiteral("OK");
    }
    if (!m_model.itemText(item))
        return errorLine(kErrorUnknownItem, tr("unknown item %1").arg(item));
    if (!m_model.isPokeable(item))
        return errorLine(kErrorNotPokeable, tr("item %1 takes no poke").arg(item));
    if (const std::optional<ControlLink::Refusal> refusal = m_link.checkPoke(item, text))
        return errorLine(refusal->number, refusal->text);
    const CommandSourceScope scope = m_link.clientScope(source);
    m_model.pokeItem(item, text);
    return QStringLiteral("OK");
}
