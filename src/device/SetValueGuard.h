#pragma once

#include <QString>

#include <optional>

struct ModuleTable;

// The one check that every set value passes on its way to the supply, whichever path made it: a
// command that sets a module's value, gain or offset ("V", "G" or "O", the module code, a number)
// carries a number within that module's limits, or it is not sent. Paths above it correct or
// refuse such a value with their own message first; this holds for any path added later.
class SetValueGuard
{
public:
    // The screen's set value goes out in volts, its limits are in kilovolts.
    static constexpr float kScreenVoltsPerUnit = 1000.0f;

    // "Valid range is <lower> ... <upper>" (in the command's units) for a command whose number
    // lies beyond its module's limits or is no number at all (NaN); nothing for a command within
    // them or one that sets no value (switch and read commands).
    static std::optional<QString> refusal(const QString &command, const ModuleTable &table);
};
