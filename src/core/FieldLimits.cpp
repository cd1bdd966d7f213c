#include "core/FieldLimits.h"

FieldLimits FieldLimits::of(PanelField field, const ModuleTable &table)
{
    if (field.index < 0 || field.index >= kModuleCount)
        return {};
    const auto i = static_cast<std::size_t>(field.index);
    switch (field.kind) {
    case PanelField::Kind::Value:
        return {table.ValueMin[i], table.ValueMax[i], table.ValueStep[i]};
    case PanelField::Kind::Gain:
        return {table.GainMin[i], table.GainMax[i], table.GainStep[i]};
    case PanelField::Kind::Offset:
        return {table.OffsetMin[i], table.OffsetMax[i], table.OffsetStep[i]};
    }
    return {};
}
