#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The answer to one request: its first line at once, further lines (if any) as the client
// takes them. Nothing else goes to that client until the last line is out.
struct LinkAnswer
{
    LinkAnswer(QString line) : first(std::move(line)) {} // NOLINT: a one-line answer is a line
    LinkAnswer(QString line, std::function<std::optional<QString>()> more)
        : first(std::move(line)), next(std::move(more))
    {
    }
    QString first;
    std::function<std::optional<QString>()> next; // the following line, nothing at the end
};

// A part of the control link's protocol beyond the panel's items: its own verbs and items.
class LinkExtension
{
public:
    virtual ~LinkExtension() = default;
    // The answer to a line of this part, or nothing when the verb is not one of it.
    virtual std::optional<LinkAnswer> handle(const void *conversation, const QString &verb,
                                             const QString &argument) = 0;
    // The text of one of this part's items, or nothing for another item.
    virtual std::optional<QString> itemText(const QString &) const { return std::nullopt; }
    // This part's items.
    virtual QStringList itemNames() const { return {}; }
    // True when `item` is this part's and took the text.
    virtual bool pokeItem(const QString &, const QString &) { return false; }
    virtual void conversationEnded(const void *) {}
};
