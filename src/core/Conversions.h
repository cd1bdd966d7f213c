#pragma once

#include <QString>

// The only conversions between text and numbers in the program. Every number lives as text
// somewhere (fields, command lines, replies, link commands, profiles); these two decide how.
// Never use printf/strtod/iostreams for such text: they follow the C locale that Qt sets.

// Reads the leading number of `text`: the first "," becomes "."; blanks, tabs and line feeds are
// ignored anywhere; sign, digits, one ".", exponent (E or D). Non-numbers read as 0.
float ValOf(const QString &text);

// Writes `number` with at most 7 significant digits, shortest form, the default locale's
// decimal separator; plain notation for 0.0001 <= |x| < 1e7, otherwise 2.5E-06 style.
QString StrOf(float number);

// The leading-number rule of ValOf without the comma replacement, in double precision
// (the settings store reads its values with it).
double LeadingNumber(const QString &text);

// Rounds to the nearest integer, halves to even, and saturates to the 16- or 32-bit range.
qint16 RoundToInt16(double value);
qint32 RoundToInt32(double value);

// True when all of `text` is one number: sign, digits with at most one "." or ",", exponent (E
// or D); nothing before or after it, so nothing of it is skipped or ignored by ValOf.
bool IsWholeNumber(const QString &text);

// True when ValOf finds a number at the start of `text` (blanks aside), i.e. reads it as more
// than the 0 that stands for "no number": "1.5 V" and "-0" do, "abc", "" and "-" do not.
bool HasLeadingNumber(const QString &text);

// Replaces the first "," of `text` by "." (what several senders do to a StrOf result).
QString FirstCommaToPoint(QString text);

// The shortest text that reads back as the same single-precision number, always with a point
// as separator ("150", "0.1", "1.5e-06"); "nan", "inf" and "-inf" for the non-finite.
QString ShortestText(float number);
// Local time with milliseconds and the offset from UTC: "2026-12-08T10:22:57.123+01:00".
QString IsoLocalTime(qint64 msecsSinceEpoch);
