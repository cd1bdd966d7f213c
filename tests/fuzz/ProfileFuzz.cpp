#include "ProfileFuzz.h"

#include "FuzzCheck.h"
#include "device/SupplyModel.h"

#include "core/Conversions.h"
#include "core/FieldLimits.h"
#include "profiles/ProfileFileError.h"
#include "profiles/ProfileRecord.h"
#include "profiles/ProfileStore.h"

#include <QFile>

namespace {

const QString kCaption = QStringLiteral("Tavrel Power Supply");

void checkField(const SupplyModel &panel, PanelField field, float lowest, float highest)
{
    const QString text = panel.fieldText(field);
    fuzzRequire(!text.isEmpty() && !hasControlCharacter(text), "a loaded field holds a number", text);
    const float number = ValOf(text);
    fuzzRequire(number >= lowest && number <= highest, "a loaded field lies within its limits",
                field.controlName() + QLatin1Char('=') + text);
    fuzzRequire(panel.isMarked(field), "a loaded field is pending", field.controlName());
}

} // namespace

ProfileFuzz::ProfileFuzz()
{
    m_limits.fill(0);
}

void ProfileFuzz::run(const QByteArray &data)
{
    const std::optional<ProfileRecord> record = ProfileRecord::decode(data);
    fuzzRequire(record.has_value() == (data.size() >= ProfileRecord::kFileSize), "decode needs exactly a full record");
    if (record)
        fuzzRequire(record->encode() == data.left(ProfileRecord::kFileSize), "encode gives back the bytes decoded");

    const QString path = m_folder.filePath(QStringLiteral("fuzz.zqv"));
    {
        QFile file(path);
        fuzzRequire(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size(),
                    "the input file is written", path);
    }

    SupplyModel panel(m_limits);
    m_ui.clear();
    ProfileStore store(panel, m_ui);
    store.setCaption(kCaption);
    const int result = store.open(path);
    const bool isProfile = record && record->hasProfileMarker();
    if (!isProfile) {
        fuzzRequire(result == ProfileFileError::kNotAProfile, "a file that is no profile is refused");
        fuzzRequire(m_ui.messages.size() == 1, "a refused file is reported once");
        fuzzRequire(store.filename().isEmpty(), "a refused file does not become the current profile");
        return;
    }
    // A message exactly when a number lay beyond its field's limits, naming each such field.
    int beyond = 0;
    for (std::size_t k = 0; k < kPanelFields.size(); ++k) {
        const FieldLimits limits = FieldLimits::of(kPanelFields[k], m_limits);
        const float stored = record->values[k];
        if (!(stored >= limits.lower && stored <= limits.upper))
            ++beyond;
    }
    fuzzRequire(result == ProfileFileError::kSuccess, "a profile loads");
    fuzzRequire(m_ui.messages.size() == (beyond > 0 ? 1 : 0), "a profile loads silently unless corrected");
    if (beyond > 0)
        fuzzRequire(m_ui.messages.first().text.count(QLatin1Char('\n')) == beyond, "each corrected field is named",
                    m_ui.messages.first().text);
    fuzzRequire(store.filename() == path, "a loaded profile is the current one");
    for (int i = 0; i <= 2; ++i)
        checkField(panel, PanelField::value(i), m_limits.ValueMin[i], m_limits.ValueMax[i]);
    for (int i = 3; i < kModuleCount; ++i) {
        checkField(panel, PanelField::gain(i), m_limits.GainMin[i], m_limits.GainMax[i]);
        if (PanelField::offset(i).exists())
            checkField(panel, PanelField::offset(i), m_limits.OffsetMin[i], m_limits.OffsetMax[i]);
    }
    for (int module : {1, 2}) {
        fuzzRequire(panel.switchRequest(module) != SupplyModel::SwitchRequest::None,
                    "a loaded profile asks for a switch", QString::number(module));
    }
}
