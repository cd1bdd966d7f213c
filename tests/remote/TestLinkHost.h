#pragma once

#include "device/PanelAccess.h"
#include "remote/ControlLinkHost.h"

#include <QList>
#include <QMap>
#include <QPair>

class ControlLinkServer;

// The window's side of the control link over plain values: every item of the main window with
// a text, the lamp, the exit lock, and the panel fields behind PanelAccess. Like the window it
// reports each item change to the server.
class TestLinkHost : public ControlLinkHost, public PanelAccess
{
public:
    TestLinkHost();

    void setLinkLamp(Lamp lamp) override { this->lamp = lamp; }
    void setExitEnabled(bool enabled) override { exitEnabled = enabled; }
    QString caption() const override { return captionText; }
    std::optional<QString> itemText(const QString &item) const override;
    bool isPokeable(const QString &item) const override;
    void pokeItem(const QString &item, const QString &text) override;

    QString fieldText(PanelField field) const override { return items.value(field.controlName()); }
    void setFieldText(PanelField field, const QString &text) override { setItem(field.controlName(), text); }
    QString fieldTag(PanelField field) const override { return tags.value(field.controlName()); }
    void setFieldTag(PanelField field, const QString &tag) override { tags[field.controlName()] = tag; }
    bool fieldEnabled(PanelField) const override { return true; }
    QString switchTag(int module) const override { return switchTags.value(module); }
    void setSwitchTag(int module, const QString &tag) override { switchTags[module] = tag; }

    // Changes an item's text and reports it, as the window does for any change.
    void setItem(const QString &item, const QString &text);

    ControlLinkServer *server = nullptr;
    QMap<QString, QString> items;
    QMap<QString, QString> tags;
    QMap<int, QString> switchTags;
    QList<QPair<QString, QString>> pokes;
    Lamp lamp = Lamp::Default;
    bool exitEnabled = true;
    QString captionText = QStringLiteral("R4150-D Control");
};
