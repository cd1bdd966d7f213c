#pragma once

#include <QString>

#include <functional>
#include <utility>

class QTextStream;

// Prints the journal of today from `folder`; following, it goes on printing what the program
// appends, and moves to the next day's file after midnight, until interrupted. Following while
// the program's journal is off says so once, since nothing will come until it is turned on.
class JournalPrinter
{
public:
    static constexpr int kPollMs = 200;

    JournalPrinter(const QString &folder, std::function<bool()> journalOn)
        : m_folder(folder), m_journalOn(std::move(journalOn))
    {
    }

    // 0 when printed (or followed), 1 when there is no journal of today and not following.
    int run(bool follow, QTextStream &out, QTextStream &err);

private:
    QString m_folder;
    std::function<bool()> m_journalOn;
};
