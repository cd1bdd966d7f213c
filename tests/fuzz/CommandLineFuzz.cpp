#include "CommandLineFuzz.h"

#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "app/CommandLine.h"

#include <QStringList>

namespace {

const QString kProfileSwitch = QStringLiteral("/ZQV=");
const QString kProfileExtension = QStringLiteral(".zqv");

} // namespace

void CommandLineFuzz::run(const QByteArray &data)
{
    FuzzInput input(data);
    const QString text = input.restText(FuzzInput::decodingFor(input.takeByte()));

    const QString upper = CommandLine::upperSameLength(text);
    fuzzRequire(upper.size() == text.size(), "upper case keeps every position", text);

    const CommandLine line = CommandLine::parse(text);
    if (line.commPort)
        fuzzRequire(*line.commPort >= 0 && *line.commPort <= kHighestPortSwitch, "a port switch names port 0..4", text);
    if (line.powerSupply)
        fuzzRequire(*line.powerSupply == 0 || *line.powerSupply == 1, "a model switch names model 0 or 1", text);
    fuzzRequire(line.profile.has_value() == upper.contains(kProfileSwitch), "a profile is named exactly with /ZQV=",
                text);
    if (line.profile) {
        const QString &name = *line.profile;
        fuzzRequire(name.contains(QLatin1Char('.')), "a profile name has a dot", name);
        // The name is the text as typed, not its upper-case form.
        const QString typed = name.endsWith(kProfileExtension) && !text.contains(name) ? name.chopped(4) : name;
        fuzzRequire(text.contains(typed), "the profile name stands in the command line as typed", name);
    }

    // The switches do not depend on the case of what was typed: the upper-case line means the
    // same, except for the profile name's own letters.
    const CommandLine again = CommandLine::parse(upper);
    fuzzRequire(again.simulation == line.simulation && again.service == line.service
                    && again.powerSupply == line.powerSupply && again.commPort == line.commPort
                    && again.profile.has_value() == line.profile.has_value(),
                "upper-case input gives the same switches", text);

    // An argument of its own is never lost to another's text, and the value of /ZQV= is the
    // whole rest of its argument, never searched for switches.
    fuzzRequire(CommandLine::parse(QStringList{text, QStringLiteral("/SIMULATION")}).simulation,
                "a trailing /SIMULATION counts", text);
    const CommandLine path = CommandLine::parse(QStringList{kProfileSwitch + text});
    fuzzRequire(!path.simulation && !path.service && !path.powerSupply && !path.commPort,
                "no switch is found inside a profile's path", text);
    fuzzRequire(path.profile && path.profile->startsWith(text), "the path runs to the end of its argument", text);
}
