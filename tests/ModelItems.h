#pragma once

#include "device/SupplyModel.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// The supply's model as the control-link and profile tests see it: filled as after a first
// read-back (fields, control voltage and monitors "0", "0.00"; port "COM1:"), any item set by its
// name, every item at once, the fields with their marks as one text, and each item change kept in
// order.
struct ModelItems
{
    explicit ModelItems(SupplyModel &model);

    // Writes an item by name as the program would (DA_set_voltage only shown, not applied).
    void set(const QString &item, const QString &text);
    QMap<QString, QString> all() const;
    QString snapshot() const;

    SupplyModel &model;
    QList<QPair<QString, QString>> changes;
};
