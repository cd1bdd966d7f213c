#include "core/SettingsStore.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

QSettings openStore()
{
    const QString name = SettingsStore::applicationName();
    return QSettings(QSettings::IniFormat, QSettings::UserScope, name, name);
}

QString keyPath(const QString &section, const QString &key)
{
    // QSettings would write a group "General" as [%General]; top-level keys land in [General].
    if (section == QLatin1String("General"))
        return key;
    return section + QLatin1Char('/') + key;
}

} // namespace

namespace SettingsStore {

QString applicationName()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("tavrel") : name;
}

QString readText(const QString &section, const QString &key, const QString &defaultText)
{
    QSettings store = openStore();
    const QVariant value = store.value(keyPath(section, key));
    if (!value.isValid())
        return defaultText;
    return value.toString();
}

void writeText(const QString &section, const QString &key, const QString &text)
{
    QSettings store = openStore();
    store.setValue(keyPath(section, key), text);
}

QString filePath()
{
    return openStore().fileName();
}

void sync()
{
    QSettings store = openStore();
    store.sync();
}

} // namespace SettingsStore
