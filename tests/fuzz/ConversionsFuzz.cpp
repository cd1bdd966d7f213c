#include "ConversionsFuzz.h"

#include "FuzzCheck.h"
#include "FuzzInput.h"

#include "core/Conversions.h"

#include <QLocale>

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// Seven significant digits leave at most half a unit of the seventh digit (5e-7 relative);
// reading the decimal back into a single adds at most half an ulp (2^-24 relative).
constexpr double kRoundTripRelativeError = 6e-7;

QString describe(float number)
{
    // Exact bits for the report: the text forms are what is under test.
    quint32 bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    return QStringLiteral("bits 0x") + QString::fromLatin1(QByteArray::number(bits, 16));
}

} // namespace

void ConversionsFuzz::run(const QByteArray &data)
{
    FuzzInput input(data);
    const quint8 selector = input.takeByte();
    QLocale::setDefault((selector & 1) ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c());

    checkNumber(input.takeFloat());

    const double wide = input.takeDouble();
    const qint16 narrow = RoundToInt16(wide);
    const qint32 medium = RoundToInt32(wide);
    if (std::isfinite(wide) && std::fabs(wide) < 32767.0)
        fuzzRequire(std::fabs(double(narrow) - wide) <= 0.5, "RoundToInt16 is the nearest integer");
    if (std::isfinite(wide) && std::fabs(wide) < 2147483647.0)
        fuzzRequire(std::fabs(double(medium) - wide) <= 0.5, "RoundToInt32 is the nearest integer");
    if (std::isnan(wide))
        fuzzRequire(narrow == 0 && medium == 0, "NaN rounds to 0");

    const QString text = input.restText(FuzzInput::decodingFor(selector >> 1));
    const float value = ValOf(text);
    const double leading = LeadingNumber(text);
    RoundToInt16(leading);
    RoundToInt32(leading);
    fuzzRequire(FirstCommaToPoint(text).size() == text.size(), "FirstCommaToPoint keeps the length");
    if (!text.contains(QLatin1Char(',')) && std::fabs(leading) <= double(FLT_MAX)) {
        // Without a comma both read the same number; ValOf only narrows it.
        const bool bothNaN = std::isnan(value) && std::isnan(leading);
        fuzzRequire(bothNaN || value == float(leading), "ValOf agrees with LeadingNumber", text);
    }
    checkNumber(value);
}

void ConversionsFuzz::checkNumber(float number)
{
    const QString text = StrOf(number);
    if (!std::isfinite(number)) {
        fuzzRequire(text == QLatin1String("NaN") || text == QLatin1String("inf") || text == QLatin1String("-inf"),
                    "StrOf names a non-finite number", text);
        return;
    }
    fuzzRequire(text.size() <= kMaxNumberTextLength, "StrOf text is short", text);
    fuzzRequire(!hasControlCharacter(text) && !text.contains(QLatin1Char(' ')), "StrOf text has no blank or control",
                text);

    const float back = ValOf(text);
    fuzzRequire(std::isfinite(back), "StrOf text reads back finite", text + QLatin1Char(' ') + describe(number));
    const double error = std::fabs(double(back) - double(number));
    fuzzRequire(error <= kRoundTripRelativeError * std::fabs(double(number)) + double(FLT_TRUE_MIN),
                "ValOf(StrOf(x)) is x to seven digits", text + QLatin1Char(' ') + describe(number));
    fuzzRequire(std::signbit(back) == std::signbit(number) || back == 0.0f, "the sign survives", text);

    // After one round the text is a fixed point: the number read back writes the same text
    // whenever it is the number the text was written from.
    const QString again = StrOf(back);
    if (back == number)
        fuzzRequire(again == text, "StrOf is stable on its own result", text + QStringLiteral(" -> ") + again);
    const QString third = StrOf(ValOf(again));
    fuzzRequire(third == again, "StrOf(ValOf(.)) settles after one round",
                text + QStringLiteral(" -> ") + again + QStringLiteral(" -> ") + third + QLatin1Char(' ') + describe(number));
}
