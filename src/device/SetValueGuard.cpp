#include "device/SetValueGuard.h"

#include "core/FieldLimits.h"
#include "core/ModuleTable.h"
#include "core/RangeCheck.h"

namespace {
constexpr int kCodeStart = 1;  // after the command letter
constexpr int kCodeLength = 2; // "EN", "CA", "L1", ...

std::optional<PanelField> fieldOf(QChar letter, int module)
{
    PanelField field;
    if (letter == QLatin1Char('V'))
        field = PanelField::value(module);
    else if (letter == QLatin1Char('G'))
        field = PanelField::gain(module);
    else if (letter == QLatin1Char('O'))
        field = PanelField::offset(module);
    else
        return std::nullopt;
    return field.exists() ? std::optional<PanelField>(field) : std::nullopt;
}
} // namespace

std::optional<QString> SetValueGuard::refusal(const QString &command, const ModuleTable &table)
{
    if (command.size() <= kCodeStart + kCodeLength)
        return std::nullopt;
    const QString code = command.mid(kCodeStart, kCodeLength);
    int module = -1;
    for (int i = 0; i < kModuleCount; ++i)
        if (table.ModuleCode[std::size_t(i)] == code)
            module = i;
    if (module < 0)
        return std::nullopt;
    const std::optional<PanelField> field = fieldOf(command.at(0), module);
    if (!field)
        return std::nullopt;
    FieldLimits limits = FieldLimits::of(*field, table);
    if (*field == PanelField::value(Module::kScreen)) {
        limits.lower *= kScreenVoltsPerUnit;
        limits.upper *= kScreenVoltsPerUnit;
    }
    const RangeCheck check = RangeCheck::of(command.mid(kCodeStart + kCodeLength), limits.lower, limits.upper);
    return check.outOfRange ? std::optional<QString>(check.message) : std::nullopt;
}
