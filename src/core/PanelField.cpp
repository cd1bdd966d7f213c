#include "core/PanelField.h"

#include "core/ModuleTable.h"

#include <QRegularExpression>

const std::array<PanelField, 12> kPanelFields = {
    PanelField::value(0), PanelField::value(1), PanelField::value(2),
    PanelField::gain(3), PanelField::offset(3), PanelField::gain(4), PanelField::offset(4),
    PanelField::gain(5), PanelField::offset(5), PanelField::gain(6),
    PanelField::gain(7), PanelField::offset(7),
};

bool PanelField::exists() const
{
    switch (kind) {
    case Kind::Value:
        return index >= 0 && index <= 2;
    case Kind::Gain:
        return index >= 3 && index <= 7;
    case Kind::Offset:
        return index >= 3 && index <= 7 && index != 6;
    }
    return false;
}

QString PanelField::controlName() const
{
    const char *base = kind == Kind::Value ? "Text_Value" : kind == Kind::Gain ? "Text_Gain" : "Text_Offset";
    return QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(index);
}

QString PanelField::displayName() const
{
    QString name = ModuleTable::caption(index).remove(QLatin1Char('&'));
    if (kind == Kind::Gain)
        name += QStringLiteral(" gain");
    else if (kind == Kind::Offset)
        name += QStringLiteral(" offset");
    return name;
}

PanelField PanelField::fromControlName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^Text_(Value|Gain|Offset)\\(([0-9])\\)$"));
    const auto match = pattern.match(name);
    if (!match.hasMatch())
        return {Kind::Value, -1};
    const QString kindText = match.captured(1);
    const Kind kind = kindText == QLatin1String("Value") ? Kind::Value
                      : kindText == QLatin1String("Gain") ? Kind::Gain : Kind::Offset;
    PanelField field{kind, match.captured(2).toInt()};
    return field.exists() ? field : PanelField{Kind::Value, -1};
}
