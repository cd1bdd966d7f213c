#pragma once

#include "device/PanelView.h"
#include "remote/ControlItems.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <functional>

// The panel as plain strings, for the subsystem tests that need no widgets: every item of the
// panel with a text (fields, DA_set_voltage, monitor labels, Label_CommPort), the marks and the
// switch requests. Like the module panel it reports each item change (onItemChanged).
class StringPanel : public PanelView, public ControlItems
{
public:
    StringPanel();

    QString fieldText(PanelField field) const override { return items.value(field.controlName()); }
    void setFieldText(PanelField field, const QString &text) override;
    QString fieldTag(PanelField field) const override { return tags.value(field.controlName()); }
    void setFieldTag(PanelField field, const QString &tag) override;
    bool fieldEnabled(PanelField) const override { return true; }
    QString switchTag(int module) const override { return switchTags.value(module); }
    void setSwitchTag(int module, const QString &tag) override;
    void markField(PanelField field, CommandSource source) override;
    void markSwitch(int module, const QString &request, CommandSource source) override;
    CommandSource fieldMarkSource(PanelField field) const override
    {
        return markSources.value(field.controlName(), CommandSource::Panel);
    }
    CommandSource switchMarkSource(int module) const override
    {
        return switchSources.value(module, CommandSource::Panel);
    }
    void setControlVoltage(const QString &text, bool echo) override;
    void setMonitorText(Monitor monitor, int module, const QString &text) override;
    void setSwitchDisplay(int, bool) override {}
    void setScreenBar(const QList<QRect> &) override {}
    void printServiceTable(const QStringList &) override {}

    std::optional<QString> itemText(const QString &item) const override;
    bool isPokeable(const QString &item) const override;
    void pokeItem(const QString &item, const QString &text) override;

    // Changes an item's text and reports it, as the module panel does for any change.
    void setItem(const QString &item, const QString &text);
    // The fields with their marks and the switch requests, one line each, to compare panels.
    QString snapshot() const;

    QMap<QString, QString> items;
    QMap<QString, QString> tags;
    QMap<int, QString> switchTags;
    QMap<QString, CommandSource> markSources;
    QMap<int, CommandSource> switchSources;
    QList<QPair<QString, QString>> pokes;
    std::function<void(const QString &item, const QString &text)> onItemChanged;
};
