#include "core/Conversions.h"

#include <QLocale>
#include <QtTest>

#include <cmath>
#include <limits>

class ConversionsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void valOfReadsTheLeadingNumberWhateverTheSeparator()
    {
        QCOMPARE(ValOf(QStringLiteral("1,5")), 1.5f);
        QCOMPARE(ValOf(QStringLiteral("1,234,5")), 1.234f); // only the first comma is a point
        QCOMPARE(ValOf(QStringLiteral("1.5")), 1.5f);
        QCOMPARE(ValOf(QString()), 0.0f);
        QCOMPARE(ValOf(QStringLiteral("-")), 0.0f);
        QCOMPARE(ValOf(QStringLiteral("abc")), 0.0f);
        QCOMPARE(ValOf(QStringLiteral("12abc")), 12.0f);
        QCOMPARE(ValOf(QStringLiteral("2.5E-06")), 2.5e-6f);
        QCOMPARE(ValOf(QStringLiteral("2.5d2")), 250.0f);
        QCOMPARE(ValOf(QStringLiteral(" 1 5")), 15.0f);           // blanks are ignored anywhere
        QCOMPARE(ValOf(QStringLiteral("\t-\n2 0")), -20.0f);
        QCOMPARE(ValOf(QStringLiteral("+7")), 7.0f);
        QCOMPARE(ValOf(QStringLiteral(".5")), 0.5f);
        QCOMPARE(ValOf(QStringLiteral("1.2.3")), 1.2f);           // one point at most
        QCOMPARE(ValOf(QStringLiteral("3e")), 3.0f);              // an exponent without digits
        QCOMPARE(ValOf(QStringLiteral("150 V")), 150.0f);
        QCOMPARE(ValOf(QStringLiteral("1e-60")), 0.0f);
        // The double result rounded to single precision.
        QCOMPARE(ValOf(QStringLiteral("2.3")), 2.3f);
        QCOMPARE(LeadingNumber(QStringLiteral("1,5")), 1.0); // the settings rule has no comma step
    }

    void valOfBeyondSinglePrecisionIsInfinite()
    {
        QCOMPARE(ValOf(QStringLiteral("1e39")), std::numeric_limits<float>::infinity());
        QCOMPARE(ValOf(QStringLiteral("-1e39")), -std::numeric_limits<float>::infinity());
        QCOMPARE(ValOf(QStringLiteral("1e400")), std::numeric_limits<float>::infinity());
        QCOMPARE(ValOf(QStringLiteral("3.4e38")), 3.4e38f);
        // A thousand-digit exponent neither hangs nor overflows the reader.
        QCOMPARE(ValOf(QStringLiteral("1e") + QString(1000, QLatin1Char('9'))),
                 std::numeric_limits<float>::infinity());
    }

    void strOfWritesAtMostSevenDigitsShortestFirst()
    {
        QCOMPARE(StrOf(150.0f), QStringLiteral("150"));
        QCOMPARE(StrOf(0.5f), QStringLiteral("0.5"));
        QCOMPARE(StrOf(-20.0f), QStringLiteral("-20"));
        QCOMPARE(StrOf(2.5e-6f), QStringLiteral("2.5E-06"));
        QCOMPARE(StrOf(2.3f), QStringLiteral("2.3"));  // not 2.29999995
        QCOMPARE(StrOf(0.01f), QStringLiteral("0.01"));
        QCOMPARE(StrOf(0.0f), QStringLiteral("0"));
        QCOMPARE(StrOf(-0.0f), QStringLiteral("0"));
        QCOMPARE(StrOf(1.0f / 3.0f), QStringLiteral("0.3333333"));
        QCOMPARE(StrOf(1234567.0f), QStringLiteral("1234567"));
        QCOMPARE(StrOf(9999999.0f), QStringLiteral("9999999"));
        QCOMPARE(StrOf(1.0e7f), QStringLiteral("1E+07"));
        QCOMPARE(StrOf(12345678.0f), QStringLiteral("1.234568E+07"));
        QCOMPARE(StrOf(0.0001f), QStringLiteral("0.0001"));
        QCOMPARE(StrOf(0.00001f), QStringLiteral("1E-05"));
        QCOMPARE(StrOf(3.0e38f), QStringLiteral("3E+38"));
        QCOMPARE(StrOf(-1.5e-20f), QStringLiteral("-1.5E-20"));
        // Ten spin steps of 0.01 from 1 give 1.1, as the text is rewritten after every step.
        float v = ValOf(QStringLiteral("1"));
        for (int i = 0; i < 10; ++i)
            v = ValOf(StrOf(v + 0.01f));
        QCOMPARE(StrOf(v), QStringLiteral("1.1"));
    }

    void strOfUsesTheLocalesSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(StrOf(2.3f), QStringLiteral("2,3"));
        QCOMPARE(StrOf(1234.5f), QStringLiteral("1234,5")); // never a thousands separator
        QCOMPARE(StrOf(2.5e-6f), QStringLiteral("2,5E-06"));
        QCOMPARE(ValOf(StrOf(2.3f)), 2.3f);
        QCOMPARE(FirstCommaToPoint(StrOf(2.3f)), QStringLiteral("2.3"));
    }

    void roundingOfStoredIntegersIsHalfToEven()
    {
        QCOMPARE(RoundToInt16(2.5), qint16(2));
        QCOMPARE(RoundToInt16(3.5), qint16(4));
        QCOMPARE(RoundToInt16(-2.5), qint16(-2));
        QCOMPARE(RoundToInt16(1e9), qint16(32767));
        QCOMPARE(RoundToInt32(-1e12), qint32(-2147483647 - 1));
        QCOMPARE(RoundToInt32(std::nan("")), qint32(0));
    }
};

QTEST_GUILESS_MAIN(ConversionsTest)
#include "ConversionsTest.moc"
