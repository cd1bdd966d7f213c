#include "ReplyFuzz.h"

#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "core/Conversions.h"
#include "device/DeviceProtocol.h"
#include "device/ReadBack.h"

#include <QLocale>

#include <cmath>
#include <cstring>

namespace {

constexpr int kMonitorDecimalsMax = 2; // the panel shows 0, 1 or 2 decimals
constexpr int kOffSuffixLength = 3;
constexpr float kOneKilovoltRounded = 999.5f; // rounds to 1000 V (halves to even)

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void checkMonitorText(float number)
{
    const QString separator = QLocale().decimalPoint();
    for (int decimals = 0; decimals <= kMonitorDecimalsMax; ++decimals) {
        const QString text = ReadBack::monitorText(number, decimals);
        fuzzRequire(text.endsWith(QLatin1Char(' ')) && !hasControlCharacter(text), "monitor text ends in one blank",
                    text);
        if (!std::isfinite(number))
            continue;
        const QString digits = text.chopped(1);
        const qsizetype point = digits.indexOf(separator);
        fuzzRequire(decimals == 0 ? point < 0 : point >= 0 && digits.size() - point - 1 == decimals,
                    "monitor text has its decimals", text);
        const float shown = ValOf(digits);
        if (shown == 0.0f && std::isfinite(shown))
            fuzzRequire(!digits.startsWith(QLatin1Char('-')), "no negative zero on the panel", text);
        // The shown number is the reading to within half the last decimal (plus the single's
        // own precision for large readings).
        if (std::fabs(number) < 1e6f) {
            const double half = 0.5 * std::pow(10.0, -decimals);
            fuzzRequire(std::fabs(double(shown) - double(number)) <= half + 1e-6 * std::fabs(double(number)), "monitor text shows the reading",
                        text);
        }
    }
}

void checkScreenBoxes(float offset)
{
    for (bool on : {false, true}) {
        const QList<QRect> boxes = ReadBack::screenBoxes(offset, on);
        if (!on) {
            fuzzRequire(boxes.size() == 1, "a switched-off bar shows one marker");
            continue;
        }
        fuzzRequire(boxes.size() <= ReadBack::kMaxScreenBars, "the bar holds at most its boxes");
        if (!(offset >= kOneKilovoltRounded))
            fuzzRequire(boxes.isEmpty(), "no box below one kilovolt");
        for (const QRect &box : boxes)
            fuzzRequire(box.left() >= 0 && box.left() < 100, "every box lies on the bar");
    }
}

} // namespace

void ReplyFuzz::run(const QByteArray &data)
{
    FuzzInput input(data);
    const quint8 selector = input.takeByte();
    QLocale::setDefault((selector & 1) ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());

    ModuleReading raw;
    raw.Gain = input.takeFloat();
    raw.Offset = input.takeFloat();
    raw.value = input.takeFloat();
    raw.Umon = input.takeFloat();
    raw.Imon = input.takeFloat();
    raw.OnOff = selector >> 7;

    const QString line = input.restText(FuzzInput::decodingFor(selector >> 1));
    ModuleReading parsed = raw;
    DeviceProtocol::parseDataLine(line, parsed);
    if (line.size() < kOffSuffixLength) {
        fuzzRequire(sameBits(parsed.Gain, raw.Gain) && parsed.OnOff == raw.OnOff, "a short line changes nothing", line);
    } else if (line.right(kOffSuffixLength).compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) {
        fuzzRequire(parsed.OnOff == 0, "a line ending in off means off", line);
        fuzzRequire(sameBits(parsed.Gain, raw.Gain) && sameBits(parsed.Imon, raw.Imon), "an off line keeps the numbers",
                    line);
    } else {
        fuzzRequire(parsed.OnOff == 1, "any other line means on", line);
        if (!line.contains(QLatin1Char(' ')))
            fuzzRequire(sameBits(parsed.Gain, raw.Gain), "a line without fields keeps the numbers", line);
    }

    std::array<ModuleReading, kModuleCount> readings{};
    std::array<QString, kModuleCount> codes;
    for (int i = 0; i < kModuleCount; ++i) {
        readings[i] = (i % 2 == 0) ? parsed : raw;
        codes[i] = line.left(i);
    }
    const QStringList table = ReadBack::serviceTable(readings, codes);
    fuzzRequire(table.size() == kModuleCount + 1, "the service table has a heading and a row per module");

    for (const ModuleReading &reading : {raw, parsed}) {
        for (float number : {reading.Gain, reading.Offset, reading.value, reading.Umon, reading.Imon})
            checkMonitorText(number);
        checkScreenBoxes(reading.Offset);
    }
}
