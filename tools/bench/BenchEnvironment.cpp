#include "BenchEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

BenchEnvironment::BenchEnvironment()
{
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path())); // the journal's folder
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QLocale::setDefault(QLocale::c());
}
