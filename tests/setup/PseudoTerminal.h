#pragma once

#include <QString>

// A pseudo-terminal for tests: the slave's path can be mapped to a COM port; the master stays
// open for the object's lifetime so that the slave keeps existing.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    QString m_slavePath;
};
