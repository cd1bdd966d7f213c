#pragma once

#include <QString>

// Where the journal lives; shared by the program and its command-line client.
namespace JournalFiles {

// $XDG_STATE_HOME/tavrel, normally ~/.local/state/tavrel.
QString defaultFolder();
// "journal-YYYY-MM-DD.jsonl" for the local day of that moment.
QString fileNameFor(qint64 msecsSinceEpoch);

} // namespace JournalFiles
