// The range check and the spin step on plain texts, with the module table's real limits.
#include "core/ModuleTable.h"
#include "core/FieldLimits.h"
#include "core/RangeCheck.h"
#include "panel/SpinStep.h"

#include <QLocale>
#include <QTest>

class PanelRulesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rangeCheck_data();
    void rangeCheck();
    void spinStep_data();
    void spinStep();
    void repeatedFractionalSteps();

private:
    ModuleTable m_table;
};

void PanelRulesTest::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    m_table.fill(0);
}

void PanelRulesTest::rangeCheck_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("outOfRange");
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<QString>("message");

    const int value = int(PanelField::Kind::Value);
    const int offset = int(PanelField::Kind::Offset);
    const QString energy = QStringLiteral("Valid range is 0 ... 1000");
    QTest::newRow("only the first comma") << value << 0 << "1,234,5" << false << "" << energy;
    QTest::newRow("empty reads 0") << value << 0 << "" << false << "" << energy;
    QTest::newRow("lone minus reads 0") << value << 0 << "-" << false << "" << energy;
    QTest::newRow("below") << value << 0 << "-0.5" << true << "0" << energy;
    QTest::newRow("overflow to infinity") << value << 0 << "1e39" << true << "1000" << energy;
    QTest::newRow("negative infinity") << value << 0 << "-1e39" << true << "0" << energy;
    QTest::newRow("cathode at its single-precision limit") << value << 1 << "2.3" << false << ""
                                                            << "Valid range is 0 ... 2.3";
    QTest::newRow("L1 offset below") << offset << 5 << "-21" << true << "-20" << "Valid range is -20 ... 100";
}

void PanelRulesTest::rangeCheck()
{
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(bool, outOfRange);
    QFETCH(QString, corrected);
    QFETCH(QString, message);

    const FieldLimits limits = FieldLimits::of({PanelField::Kind(kind), index}, m_table);
    const RangeCheck check = RangeCheck::of(text, limits.lower, limits.upper);
    QCOMPARE(check.outOfRange, outOfRange);
    if (outOfRange)
        QCOMPARE(check.correctedText, corrected);
    QCOMPARE(check.message, message);
}

void PanelRulesTest::spinStep_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("up");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("beep");
    QTest::addColumn<QString>("result");

    QTest::newRow("energy at top") << "1000" << true << 0 << true << "1000";
    QTest::newRow("energy clamped to top") << "999.5" << true << 0 << false << "1000";
    QTest::newRow("energy at bottom") << "0" << false << 0 << true << "0";
    QTest::newRow("energy above top steps down unclamped") << "1200" << false << 0 << false << "1199";
    QTest::newRow("energy below bottom steps up unclamped") << "-5" << true << 0 << false << "-4";
    QTest::newRow("energy above top beeps up") << "1200" << true << 0 << true << "1200";
    QTest::newRow("not a number counts as 0") << "abc" << true << 0 << false << "1";
    QTest::newRow("comma text") << "2,5" << true << 0 << false << "3.5";
    QTest::newRow("cathode clamped to bottom") << "0.005" << false << 1 << false << "0";
    QTest::newRow("cathode step") << "1" << true << 1 << false << "1.01";
    QTest::newRow("infinite text brought to a limit") << "1e39" << false << 0 << false << "1000";
    QTest::newRow("negative infinite text brought to a limit") << "-1e39" << true << 0 << false << "0";
}

void PanelRulesTest::spinStep()
{
    QFETCH(QString, text);
    QFETCH(bool, up);
    QFETCH(int, index);
    QFETCH(bool, beep);
    QFETCH(QString, result);

    const FieldLimits limits = FieldLimits::of(PanelField::value(index), m_table);
    const SpinStep step = SpinStep::of(text, up, limits.lower, limits.upper, limits.step);
    QCOMPARE(step.beep, beep);
    QCOMPARE(step.newText, result);
}

void PanelRulesTest::repeatedFractionalSteps()
{
    const FieldLimits cathode = FieldLimits::of(PanelField::value(1), m_table);
    QString text = QStringLiteral("1");
    for (int i = 0; i < 10; ++i)
        text = SpinStep::of(text, true, cathode.lower, cathode.upper, cathode.step).newText;
    QCOMPARE(text, QStringLiteral("1.1"));
    for (int i = 0; i < 10; ++i)
        text = SpinStep::of(text, false, cathode.lower, cathode.upper, cathode.step).newText;
    QCOMPARE(text, QStringLiteral("1"));

    // The text is written in the operator's locale and read back with it.
    QLocale::setDefault(QLocale(QLocale::German));
    text = QStringLiteral("1");
    for (int i = 0; i < 10; ++i)
        text = SpinStep::of(text, true, cathode.lower, cathode.upper, cathode.step).newText;
    QLocale::setDefault(QLocale::c());
    QCOMPARE(text, QStringLiteral("1,1"));
}

QTEST_GUILESS_MAIN(PanelRulesTest)
#include "PanelRulesTest.moc"
