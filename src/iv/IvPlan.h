#pragma once

#include <QString>

#include "core/SettingsStore.h"

#include <QDir>
#include <QStandardPaths>

// What an I(V) measurement runs: the energy ramp and the folder its files go to. The camera,
// the dark frame and the spots are set beforehand.
struct IvPlan
{
    double from = 0.0;
    double to = 0.0;
    double step = 1.0;
    int settleMs = 0;
    QString folder;

    // Where measurements go unless a folder names its own place: [IV] Folder, or IV in the
    // user's documents. A relative folder is taken inside it.
    static QString baseFolder()
    {
        const QString fallback =
            QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(QStringLiteral("IV"));
        return SettingsStore::readText(QStringLiteral("IV"), QStringLiteral("Folder"), fallback);
    }
    static QString resolve(const QString &folder) { return QDir(baseFolder()).filePath(folder); }
};
