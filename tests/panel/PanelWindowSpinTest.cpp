// The spin controls of the real main window, clicked through the window system, with the
// virtual supply at the other end of the line.
#include "PanelWindowFixture.h"
#include "SpinTestSupport.h"

#include "panel/SpinImages.h"

#include <QtTest>

class PanelWindowSpinTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void energyAtTheTopOnlyBeeps();
    void energyStepClampsAndGoesOutAtOnce();
    void cathodeStepsWithoutResidue();
    void middleLineStepsDown();
    void rightAndMiddleButtonsDoNothing();
    void gainSpinWaitsForTheNextCycle();
    void doubleClickStepsOnce();
    void switchedOffModuleTakesNoClick();

private:
    // A press or a click at `pos` of the spin control, delivered to the window as the platform does.
    void press(SpinControl *spin, Qt::MouseButton button, QPoint pos);
    void release(SpinControl *spin, Qt::MouseButton button, QPoint pos);
    void click(SpinControl *spin, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
    QPoint inWindow(SpinControl *spin, QPoint pos) const;

    std::unique_ptr<PanelWindowFixture> m_fixture;
    EditField *m_energy = nullptr;
    SpinControl *m_energySpin = nullptr;
};

void PanelWindowSpinTest::init()
{
    m_fixture = std::make_unique<PanelWindowFixture>();
    QVERIFY(m_fixture->open());
    m_energy = m_fixture->field(QStringLiteral("Text_Value(0)"));
    m_energySpin = m_fixture->spin(QStringLiteral("Picture_value(0)"));
    QVERIFY(m_energy && m_energySpin);
    QVERIFY(m_energySpin->isEnabled());
}

void PanelWindowSpinTest::cleanup()
{
    m_fixture.reset();
}

QPoint PanelWindowSpinTest::inWindow(SpinControl *spin, QPoint pos) const
{
    return spin->mapTo(m_fixture->window.get(), pos);
}

void PanelWindowSpinTest::press(SpinControl *spin, Qt::MouseButton button, QPoint pos)
{
    QTest::mousePress(m_fixture->window->windowHandle(), button, {}, inWindow(spin, pos));
}

void PanelWindowSpinTest::release(SpinControl *spin, Qt::MouseButton button, QPoint pos)
{
    QTest::mouseRelease(m_fixture->window->windowHandle(), button, {}, inWindow(spin, pos));
    waitForLine(m_fixture->window->line()); // the step's cycle ends before the next step
}

void PanelWindowSpinTest::click(SpinControl *spin, QPoint pos, Qt::MouseButton button)
{
    press(spin, button, pos);
    release(spin, button, pos);
}

void PanelWindowSpinTest::energyAtTheTopOnlyBeeps()
{
    m_energy->setText(QStringLiteral("1000"));
    m_fixture->settle();

    press(m_energySpin, Qt::LeftButton, kUpperHalf);
    QVERIFY(shows(m_energySpin, SpinImages::Kind::PlusPressed));
    QCOMPARE(m_fixture->ui.beeps, 1);
    QCOMPARE(m_energy->text(), QStringLiteral("1000"));
    QVERIFY(!m_energy->isMarked());
    release(m_energySpin, Qt::LeftButton, kUpperHalf);
    QVERIFY(shows(m_energySpin, SpinImages::Kind::Rest));

    // No cycle ran: with auto refresh on it would at least have read the monitors.
    m_fixture->window->state().setAutoRefresh(true);
    click(m_energySpin, kUpperHalf);
    QCoreApplication::processEvents();
    QCOMPARE(m_fixture->ui.beeps, 2);
    QVERIFY(m_fixture->wire().isEmpty());
    QVERIFY(m_fixture->ui.messages.isEmpty());
}

void PanelWindowSpinTest::energyStepClampsAndGoesOutAtOnce()
{
    m_energy->setText(QStringLiteral("999.5"));
    m_fixture->settle();

    click(m_energySpin, kUpperHalf);
    QCOMPARE(m_energy->text(), QStringLiteral("1000"));
    QCOMPARE(m_fixture->wire(), QStringList{QStringLiteral("VEN1000")});
    QVERIFY(!m_energy->isMarked());
    QCOMPARE(m_fixture->supply.model().energy(), 1000.0f);
    QCOMPARE(m_fixture->ui.beeps, 0);

    // A step down with a modifier held steps like a plain one.
    press(m_energySpin, Qt::LeftButton, kLowerHalf);
    QVERIFY(shows(m_energySpin, SpinImages::Kind::MinusPressed));
    release(m_energySpin, Qt::LeftButton, kLowerHalf);
    QTest::mouseClick(m_fixture->window->windowHandle(), Qt::LeftButton, Qt::ShiftModifier,
                      inWindow(m_energySpin, kLowerHalf));
    QCOMPARE(m_fixture->wire(), (QStringList{QStringLiteral("VEN1000"), QStringLiteral("VEN999"),
                                             QStringLiteral("VEN998")}));
}

void PanelWindowSpinTest::cathodeStepsWithoutResidue()
{
    EditField *cathode = m_fixture->field(QStringLiteral("Text_Value(1)"));
    SpinControl *cathodeSpin = m_fixture->spin(QStringLiteral("Picture_value(1)"));
    QVERIFY(cathodeSpin->isEnabled()); // the module is on
    cathode->setText(QStringLiteral("0.005"));
    m_fixture->settle();

    click(cathodeSpin, kLowerHalf);
    QCOMPARE(cathode->text(), QStringLiteral("0"));
    QCOMPARE(m_fixture->wire(), QStringList{QStringLiteral("VCA0")});

    cathode->setText(QStringLiteral("1"));
    m_fixture->settle();
    QStringList expected;
    for (const char *step : {"1.01", "1.02", "1.03", "1.04", "1.05", "1.06", "1.07", "1.08", "1.09", "1.1"})
        expected << QStringLiteral("VCA") + QLatin1String(step);
    for (int i = 0; i < 10; ++i)
        click(cathodeSpin, kUpperHalf);
    QCOMPARE(cathode->text(), QStringLiteral("1.1"));
    QCOMPARE(m_fixture->wire(), expected);
}

void PanelWindowSpinTest::middleLineStepsDown()
{
    const int half = m_energySpin->contentsRect().height() / 2;
    QCOMPARE(half, SpinImages::kHeight / 2);
    m_energy->setText(QStringLiteral("500"));
    m_fixture->settle();

    click(m_energySpin, QPoint(6, half));
    QCOMPARE(m_energy->text(), QStringLiteral("499"));
    click(m_energySpin, QPoint(6, half - 1));
    QCOMPARE(m_energy->text(), QStringLiteral("500"));
    QCOMPARE(m_fixture->wire(), (QStringList{QStringLiteral("VEN499"), QStringLiteral("VEN500")}));
}

void PanelWindowSpinTest::rightAndMiddleButtonsDoNothing()
{
    m_energy->setText(QStringLiteral("500"));
    m_fixture->settle();
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        for (QPoint pos : {kUpperHalf, kLowerHalf}) {
            press(m_energySpin, button, pos);
            QVERIFY(shows(m_energySpin, SpinImages::Kind::Rest));
            release(m_energySpin, button, pos);
        }
    }
    QCoreApplication::processEvents();
    QCOMPARE(m_energy->text(), QStringLiteral("500"));
    QVERIFY(!m_energy->isMarked());
    QCOMPARE(m_fixture->ui.beeps, 0);
    QVERIFY(m_fixture->wire().isEmpty());
    // No context menu or other popup opened over the panel.
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

void PanelWindowSpinTest::gainSpinWaitsForTheNextCycle()
{
    EditField *gain = m_fixture->field(QStringLiteral("Text_Gain(5)"));
    SpinControl *gainSpin = m_fixture->spin(QStringLiteral("Picture_gain(5)"));
    EditField *offset = m_fixture->field(QStringLiteral("Text_Offset(7)"));
    SpinControl *offsetSpin = m_fixture->spin(QStringLiteral("Picture_offset(7)"));
    gain->setText(QStringLiteral("40"));
    offset->setText(QStringLiteral("-20"));
    m_fixture->settle();

    click(gainSpin, kUpperHalf);
    click(offsetSpin, kUpperHalf);
    QCOMPARE(gain->text(), QStringLiteral("41"));
    QVERIFY(gain->isMarked());
    QCOMPARE(offset->text(), QStringLiteral("-19"));
    QVERIFY(offset->isMarked());
    QCoreApplication::processEvents();
    QVERIFY(m_fixture->wire().isEmpty());

    // A set-value spin click runs the cycle, which takes the pending gain and offset along.
    m_energy->setText(QStringLiteral("100"));
    click(m_energySpin, kUpperHalf);
    QCOMPARE(m_fixture->wire(), (QStringList{QStringLiteral("VEN101"), QStringLiteral("GL141"),
                                             QStringLiteral("OL2-19")}));
    QVERIFY(!gain->isMarked());
    QVERIFY(!offset->isMarked());
}

void PanelWindowSpinTest::doubleClickStepsOnce()
{
    m_energy->setText(QStringLiteral("500"));
    m_fixture->settle();
    QTest::mouseDClick(m_fixture->window->windowHandle(), Qt::LeftButton, {}, inWindow(m_energySpin, kUpperHalf));
    QCoreApplication::processEvents();
    QCOMPARE(m_energy->text(), QStringLiteral("501"));
    QCOMPARE(m_fixture->wire(), QStringList{QStringLiteral("VEN501")});
    QVERIFY(shows(m_energySpin, SpinImages::Kind::Rest));
}

void PanelWindowSpinTest::switchedOffModuleTakesNoClick()
{
    // The read-back of a switched-off cathode disables its spin control.
    m_fixture->supply.updateModel([](InstrumentModel &model) { model.setOn(1, false); });
    m_fixture->window->refreshAll();
    QVERIFY(waitForLine(m_fixture->window->line()));
    SpinControl *cathodeSpin = m_fixture->spin(QStringLiteral("Picture_value(1)"));
    QVERIFY(!cathodeSpin->isEnabled());
    QVERIFY(shows(cathodeSpin, SpinImages::Kind::Disabled));
    EditField *cathode = m_fixture->field(QStringLiteral("Text_Value(1)"));
    const QString shown = cathode->text();
    m_fixture->settle();

    click(cathodeSpin, kUpperHalf);
    QCoreApplication::processEvents();
    QCOMPARE(cathode->text(), shown);
    QVERIFY(m_fixture->wire().isEmpty());
    QVERIFY(shows(cathodeSpin, SpinImages::Kind::Disabled));
    // The field itself stays open for typing.
    QVERIFY(cathode->isEnabled());
}

QTEST_MAIN(PanelWindowSpinTest)
#include "PanelWindowSpinTest.moc"
