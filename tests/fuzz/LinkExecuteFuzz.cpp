#include "LinkExecuteFuzz.h"

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "device/SupplyModel.h"

#include "core/ControllerState.h"
#include "core/Conversions.h"
#include "RecordingUserInterface.h"
#include "remote/ControlLink.h"

#include <QLocale>

namespace {

const QString kUntouched = QStringLiteral("untouched");

} // namespace

void LinkExecuteFuzz::run(const QByteArray &data)
{
    FuzzInput input(data);
    const quint8 selector = input.takeByte();
    QLocale::setDefault((selector & 1) ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());
    const QString command = input.restText(FuzzInput::decodingFor(selector >> 1));

    ControllerState state;
    state.table.fill(0);
    SupplyModel host(state.table);
    RecordingUserInterface ui;
    ControlLink link(host, state, ui);
    const PanelField energy = PanelField::value(0);
    host.setFieldText(energy, kUntouched);

    const std::optional<ControlLink::Refusal> refusal = link.execute(command);
    fuzzRequire(ui.messages.isEmpty() && ui.beeps == 0, "a command never talks to the operator", command);
    if (refusal)
        fuzzRequire(refusal->number == ControlLink::kErrorNotANumber || refusal->number == ControlLink::kErrorBeyondLimits,
                    "a refusal says why", command);

    const QString text = host.fieldText(energy);
    if (text == kUntouched) {
        fuzzRequire(!host.isMarked(energy), "an ignored or refused command marks nothing", command);
        return;
    }
    fuzzRequire(!refusal, "a refused command changes nothing", command);
    fuzzRequire(ValOf(text) >= state.table.ValueMin[0] && ValOf(text) <= state.table.ValueMax[0],
                "only an energy within the limits is written", text);
    // Whatever the command carried, the field gets a number's text: nothing that could reach
    // the serial line as a second command.
    fuzzRequire(host.isMarked(energy), "the new energy is pending", command);
    fuzzRequire(!hasControlCharacter(text) && !text.contains(QLatin1Char(' ')), "the energy field holds a number",
                command + QStringLiteral(" -> ") + text);
    // A value beyond single precision changes nothing, so the text is always a finite number's.
    fuzzRequire(text == StrOf(ValOf(text)), "the energy field holds the text of its number", text);
    fuzzRequire(command.section(QLatin1Char('='), 0, 0).trimmed().compare(QLatin1String("ENERGY"), Qt::CaseInsensitive)
                    == 0,
                "only ENERGY changes the energy", command);
    for (const PanelField &field : kPanelFields) {
        if (field != energy)
            fuzzRequire(!host.isMarked(field), "no other field is touched", field.controlName());
    }
}
