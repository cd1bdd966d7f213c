#pragma once

#include <QTemporaryDir>

// A private home for one benchmark run: its own settings folder and runtime folder, the
// application name of the real program and the C locale, so that a run neither reads nor
// changes the operator's settings and never meets a running program's control link.
class BenchEnvironment
{
public:
    BenchEnvironment();

    bool isValid() const { return m_config.isValid() && m_runtime.isValid() && m_state.isValid(); }
    QString statePath() const { return m_state.path(); }
    QString configPath() const { return m_config.path(); }
    QString runtimePath() const { return m_runtime.path(); }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_runtime;
    QTemporaryDir m_state;
};
