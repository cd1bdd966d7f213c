#include "core/Conversions.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <charconv>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isIgnoredBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

// Collects the characters the leading-number rule accepts, in the form from_chars reads.
std::string leadingNumberText(const QString &text)
{
    std::string out;
    int i = 0;
    const int n = text.size();
    auto skipBlanks = [&] {
        while (i < n && isIgnoredBlank(text.at(i)))
            ++i;
    };
    auto digitAt = [&](int k) { return k < n && text.at(k) >= QLatin1Char('0') && text.at(k) <= QLatin1Char('9'); };

    skipBlanks();
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        if (text.at(i) == QLatin1Char('-'))
            out += '-';
        ++i;
    }
    bool anyDigit = false;
    bool point = false;
    for (;;) {
        skipBlanks();
        if (digitAt(i)) {
            out += char(text.at(i).unicode());
            anyDigit = true;
            ++i;
        } else if (!point && i < n && text.at(i) == QLatin1Char('.')) {
            out += '.';
            point = true;
            ++i;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return {};
    skipBlanks();
    if (i < n) {
        const QChar e = text.at(i).toUpper();
        if (e == QLatin1Char('E') || e == QLatin1Char('D')) {
            int j = i + 1;
            std::string exponent = "e";
            while (j < n && isIgnoredBlank(text.at(j)))
                ++j;
            if (j < n && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-'))) {
                exponent += char(text.at(j).unicode());
                ++j;
            }
            bool expDigit = false;
            for (;;) {
                while (j < n && isIgnoredBlank(text.at(j)))
                    ++j;
                if (!digitAt(j))
                    break;
                // Cap the exponent's length: beyond it the value is 0 or infinite anyway.
                if (exponent.size() < 12)
                    exponent += char(text.at(j).unicode());
                expDigit = true;
                ++j;
            }
            if (expDigit)
                out += exponent;
        }
    }
    return out;
}

float toSingle(double d)
{
    if (std::isnan(d))
        return std::numeric_limits<float>::quiet_NaN();
    // Values that round beyond FLT_MAX become infinite, as a conversion to single does.
    constexpr double kFloatOverflow = double(FLT_MAX) + double(FLT_MAX) * (0.5 * double(FLT_EPSILON));
    if (d >= kFloatOverflow)
        return std::numeric_limits<float>::infinity();
    if (d <= -kFloatOverflow)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

// Text of `value` with `digits` significant digits, trailing zeros stripped; plain or exponent.
QString formatDigits(double value, int digits, bool exponentForm)
{
    QString s;
    if (exponentForm) {
        s = QString::number(value, 'e', digits - 1); // d.ddde[+-]XX
        const int e = s.indexOf(QLatin1Char('e'));
        QString mantissa = s.left(e);
        QString exponent = s.mid(e + 1);
        if (mantissa.contains(QLatin1Char('.'))) {
            while (mantissa.endsWith(QLatin1Char('0')))
                mantissa.chop(1);
            if (mantissa.endsWith(QLatin1Char('.')))
                mantissa.chop(1);
        }
        const QChar sign = exponent.at(0);
        QString expDigits = exponent.mid(1);
        while (expDigits.size() > 2 && expDigits.startsWith(QLatin1Char('0')))
            expDigits.remove(0, 1);
        while (expDigits.size() < 2)
            expDigits.prepend(QLatin1Char('0'));
        s = mantissa + QLatin1Char('E') + sign + expDigits;
    } else {
        // Decimals needed for `digits` significant digits.
        const int magnitude = value == 0.0 ? 0 : int(std::floor(std::log10(std::fabs(value))));
        const int decimals = std::max(0, digits - 1 - magnitude);
        s = QString::number(value, 'f', decimals);
        if (s.contains(QLatin1Char('.'))) {
            while (s.endsWith(QLatin1Char('0')))
                s.chop(1);
            if (s.endsWith(QLatin1Char('.')))
                s.chop(1);
        }
        if (s == QLatin1String("-0"))
            s = QStringLiteral("0");
    }
    return s;
}

} // namespace

double LeadingNumber(const QString &text)
{
    const std::string number = leadingNumberText(text);
    if (number.empty() || number == "-")
        return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Tell overflow from underflow by the exponent's sign.
        const auto e = number.find('e');
        const bool negativeExponent = e != std::string::npos && e + 1 < number.size() && number[e + 1] == '-';
        const bool negative = !number.empty() && number[0] == '-';
        if (negativeExponent)
            return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (result.ec != std::errc())
        return 0.0;
    return value;
}

float ValOf(const QString &text)
{
    return toSingle(LeadingNumber(FirstCommaToPoint(text)));
}

QString FirstCommaToPoint(QString text)
{
    const int comma = text.indexOf(QLatin1Char(','));
    if (comma >= 0)
        text[comma] = QLatin1Char('.');
    return text;
}

QString StrOf(float number)
{
    if (std::isnan(number))
        return QStringLiteral("NaN");
    if (std::isinf(number))
        return number > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    if (number == 0.0f)
        return QStringLiteral("0");
    const double value = number;
    QString text;
    for (int digits = 1; digits <= 7; ++digits) {
        // Round to `digits` significant digits in exponent form first: that decides whether
        // rounding carries the number across a notation boundary (9999999.5 -> 1E+07).
        const double rounded = QString::number(value, 'e', digits - 1).toDouble();
        const bool exponentForm = std::fabs(rounded) < 0.0001 || std::fabs(rounded) >= 1e7;
        const QString candidate = formatDigits(rounded, digits, exponentForm);
        text = candidate;
        if (static_cast<float>(rounded) == number)
            break;
    }
    const QChar separator = QLocale().decimalPoint().at(0);
    if (separator != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), separator);
    return text;
}

qint16 RoundToInt16(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = std::nearbyint(value); // default rounding mode: halves to even
    if (r >= 32767.0)
        return 32767;
    if (r <= -32768.0)
        return -32768;
    return static_cast<qint16>(r);
}

qint32 RoundToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = std::nearbyint(value);
    if (r >= 2147483647.0)
        return 2147483647;
    if (r <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<qint32>(r);
}

bool HasLeadingNumber(const QString &text)
{
    return !leadingNumberText(FirstCommaToPoint(text)).empty();
}

bool IsWholeNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)([EeDd][+-]?[0-9]+)?$"));
    return number.match(text).hasMatch();
}

QString ShortestText(float number)
{
    if (std::isnan(number))
        return QStringLiteral("nan");
    if (std::isinf(number))
        return number < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char buffer[32];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

QString IsoLocalTime(qint64 msecsSinceEpoch)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch);
    // An offset time spells its offset out; a local one would leave it away.
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}
