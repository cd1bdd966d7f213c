#pragma once

#include <QByteArray>

#include <optional>

// Cuts the bytes from the program into command lines the way the supply does: CR ends a
// line, LF is dropped wherever it stands, every other byte belongs to the line.
class CommandFramer
{
public:
    // A line longer than this keeps its first bytes only, so a sender that never ends its
    // line cannot make the supply grow without bound.
    static constexpr int kMaxLineBytes = 4096;

    // Takes one byte; returns the finished line when the byte was its CR.
    std::optional<QByteArray> push(char byte);
    // Bytes of the line not yet ended.
    const QByteArray &pending() const { return m_line; }
    void clear() { m_line.clear(); }

private:
    QByteArray m_line;
};
