#pragma once

#include "SupplyFaults.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

class InstrumentModel;

// Turns one received command line into the lines the supply sends back: junk lines, garbage,
// the prompt and the echo, then the data line of a read; each line ends in CR LF.
class ReplyComposer
{
public:
    static constexpr char kPrompt = '>';
    static constexpr int kMaxGarbageBytes = 16;

    struct Reply
    {
        QList<QByteArray> lines;     // every entry is one line, CR LF included
        bool startsRunaway = false;  // from now on only characters without CR
    };

    explicit ReplyComposer(quint32 seed = 1);

    // Carries the command out on `model` (also when nothing is to be sent) and composes the
    // answer under `faults`. `errorReplies` adds an "ERR" line after the echo of a command
    // the supply does not understand.
    Reply compose(const QByteArray &command, InstrumentModel &model, const SupplyFaults &faults,
                  bool prompt, bool errorReplies);

    // The next `count` characters of a line that never ends: printable, never CR or LF.
    QByteArray runawayBytes(int count);
    // One to kMaxGarbageBytes random bytes from 0x00-0x1F (CR excluded) and 0x80-0xFF.
    QByteArray garbage();

    static QByteArray junkLine();
    static QByteArray errorLine();

private:
    QRandomGenerator m_random;
    int m_runawayPhase = 0;
};
