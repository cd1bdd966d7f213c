#pragma once

#include "device/PanelAccess.h"

#include <QHash>
#include <QString>

// The panel as plain strings: what the window offers the profile code, without widgets.
class StringPanel : public PanelAccess
{
public:
    StringPanel();

    QString fieldText(PanelField field) const override;
    void setFieldText(PanelField field, const QString &text) override;
    QString fieldTag(PanelField field) const override;
    void setFieldTag(PanelField field, const QString &tag) override;
    bool fieldEnabled(PanelField field) const override;
    QString switchTag(int module) const override;
    void setSwitchTag(int module, const QString &tag) override;

    // Everything the panel holds, one line per item, to compare whole panels.
    QString snapshot() const;

private:
    QHash<QString, QString> m_texts;
    QHash<QString, QString> m_tags;
    QHash<int, QString> m_switchTags;
};
