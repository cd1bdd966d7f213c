#pragma once

#include <QByteArray>

// ValOf, StrOf, LeadingNumber and the rounding helpers on arbitrary text and arbitrary bits.
// Byte 0 selects the locale (bit 0: a comma locale) and the text decoding; bytes 1..4 are a
// single's bits, bytes 5..12 a double's, the rest is text.
class ConversionsFuzz
{
public:
    // Longest StrOf text of a finite number: "-1.234567E-38" and "-0.0001234567" have 13.
    static constexpr int kMaxNumberTextLength = 13;

    void run(const QByteArray &data);

private:
    static void checkNumber(float number);
};
