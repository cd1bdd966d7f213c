#include "TestLinkHost.h"

#include "remote/ControlLinkServer.h"

TestLinkHost::TestLinkHost()
{
    items[QStringLiteral("DA_set_voltage")] = QStringLiteral("0");
    for (const PanelField &field : kPanelFields)
        items[field.controlName()] = QStringLiteral("0");
    for (int module = 0; module < 8; ++module) {
        items[QStringLiteral("Label_UMon(%1)").arg(module)] = QStringLiteral("0.00");
        items[QStringLiteral("Label_IMon(%1)").arg(module)] = QStringLiteral("0.00");
    }
    items[QStringLiteral("Label_CommPort")] = QStringLiteral("COM1:");
}

std::optional<QString> TestLinkHost::itemText(const QString &item) const
{
    const auto it = items.constFind(item);
    if (it == items.constEnd())
        return std::nullopt;
    return *it;
}

bool TestLinkHost::isPokeable(const QString &item) const
{
    return items.contains(item) && (item == QLatin1String("DA_set_voltage") || item.startsWith(QLatin1String("Text_")));
}

void TestLinkHost::pokeItem(const QString &item, const QString &text)
{
    pokes.append({item, text});
    setItem(item, text);
}

void TestLinkHost::setItem(const QString &item, const QString &text)
{
    items[item] = text;
    if (server)
        server->notifyItemChanged(item, text);
}
