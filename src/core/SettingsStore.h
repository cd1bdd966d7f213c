#pragma once

#include <QString>

// The per-user settings store: $XDG_CONFIG_HOME/<exe>/<exe>.ini in INI format. Every value is
// text; a missing key reads as the caller's default. Section "General" is stored as top-level
// keys so that the file shows [General].
namespace SettingsStore {

// The executable's name without extension (QCoreApplication::applicationName()).
QString applicationName();
QString readText(const QString &section, const QString &key, const QString &defaultText);
void writeText(const QString &section, const QString &key, const QString &text);
// The settings file's path, for messages and tests.
QString filePath();
// Writes pending changes to disk.
void sync();

} // namespace SettingsStore
