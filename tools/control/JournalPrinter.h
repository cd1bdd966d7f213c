#pragma once

#include <QString>

class QTextStream;

// Prints the journal of today from `folder`; following, it goes on printing what the program
// appends, and moves to the next day's file after midnight, until interrupted.
class JournalPrinter
{
public:
    static constexpr int kPollMs = 200;

    explicit JournalPrinter(const QString &folder) : m_folder(folder) {}

    // 0 when printed (or followed), 1 when there is no journal of today and not following.
    int run(bool follow, QTextStream &out, QTextStream &err);

private:
    QString m_folder;
};
