#include "StringPanel.h"

#include <QStringList>

StringPanel::StringPanel()
{
    for (const PanelField &field : kPanelFields) {
        m_texts.insert(field.controlName(), QStringLiteral("0"));
        m_tags.insert(field.controlName(), QString());
    }
    m_switchTags.insert(1, QString());
    m_switchTags.insert(2, QString());
}

QString StringPanel::fieldText(PanelField field) const
{
    return m_texts.value(field.controlName());
}

void StringPanel::setFieldText(PanelField field, const QString &text)
{
    Q_ASSERT(field.exists());
    m_texts.insert(field.controlName(), text);
}

QString StringPanel::fieldTag(PanelField field) const
{
    return m_tags.value(field.controlName());
}

void StringPanel::setFieldTag(PanelField field, const QString &tag)
{
    Q_ASSERT(field.exists());
    m_tags.insert(field.controlName(), tag);
}

bool StringPanel::fieldEnabled(PanelField) const
{
    return true;
}

QString StringPanel::switchTag(int module) const
{
    return m_switchTags.value(module);
}

void StringPanel::setSwitchTag(int module, const QString &tag)
{
    Q_ASSERT(module == 1 || module == 2);
    m_switchTags.insert(module, tag);
}

QString StringPanel::snapshot() const
{
    QStringList lines;
    for (const PanelField &field : kPanelFields)
        lines << field.controlName() + QLatin1Char('=') + fieldText(field) + QLatin1Char('/') + fieldTag(field);
    lines << QStringLiteral("Label_OnOff(1)/") + switchTag(1) << QStringLiteral("Label_OnOff(2)/") + switchTag(2);
    return lines.join(QLatin1Char('\n'));
}
