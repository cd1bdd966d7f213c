#pragma once

#include <QCoreApplication>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

// A private home for one test program: its own settings folder and runtime folder, the
// application name of the real program, and the C locale unless a test sets another.
class TestEnvironment
{
public:
    TestEnvironment()
    {
        QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path())); // a journal stays in here
        // QSettings reads XDG_CONFIG_HOME once per process; a second environment in the same
        // test program would otherwise keep writing into the first one's (removed) folder.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        QLocale::setDefault(QLocale::c());
    }

    bool isValid() const { return m_config.isValid() && m_runtime.isValid() && m_state.isValid(); }
    QString configPath() const { return m_config.path(); }
    QString runtimePath() const { return m_runtime.path(); }
    QString statePath() const { return m_state.path(); }
    QString settingsFile() const { return m_config.path() + QStringLiteral("/tavrel/tavrel.ini"); }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_runtime;
    QTemporaryDir m_state;
};
