#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The switches of the program's command line. The arguments joined with blanks are one text;
// every switch is a substring found anywhere in its upper-cased form (exact character
// comparison), except inside the value of /ZQV=: a path is made of "/" and names, so that value
// runs to the end of its own argument, blanks included, and is never searched for switches.
struct CommandLine
{
    bool simulation = false;               // "/SIMULATION " (followed by a blank or at the end)
    bool service = false;                  // "/SERVICE " (likewise)
    std::optional<qint16> powerSupply;     // "/R4150" -> 0, "/TAVREL" -> 1 (the latter wins)
    std::optional<qint16> commPort;        // "/COM" -> 0, then "/COM1".."/COM4" -> 1..4
    std::optional<QString> profile;        // "/ZQV=name": name as typed, ".zqv" added without a dot

    // The program's arguments after the program name.
    static CommandLine parse(const QStringList &arguments);
    // A command line typed as one text: its words are the arguments.
    static CommandLine parse(const QString &line);
    // Upper case one UTF-16 unit at a time, so positions match the text as typed
    // (QString::toUpper turns "ß" into "SS" and would shift them).
    static QString upperSameLength(const QString &text);
};
