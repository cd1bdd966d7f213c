#pragma once

// Misbehaviours the virtual supply can show, for tests of the program's failure handling.
// All off by default; a negative count means "never".
struct SupplyFaults
{
    bool silent = false;   // reads and logs everything, answers nothing
    bool noEcho = false;   // answers data lines of reads, but no echoes
    int extraLines = 0;    // junk lines ("READY") before every echo
    bool garbage = false;  // random bytes other than CR directly in front of every echo
    bool runaway = false;  // after the next command: characters without CR, endlessly
    int silentAfter = -1;  // silent once this many lines have been sent
    int hangupAfter = -1;  // hangs the terminal up once this many lines have been sent

    bool operator==(const SupplyFaults &other) const
    {
        return silent == other.silent && noEcho == other.noEcho && extraLines == other.extraLines
            && garbage == other.garbage && runaway == other.runaway
            && silentAfter == other.silentAfter && hangupAfter == other.hangupAfter;
    }
};
