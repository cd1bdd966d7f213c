// Spin controls clicked with real mouse events in a shown window.
#include "PanelTestWindow.h"
#include "SpinTestSupport.h"

#include "panel/EditField.h"
#include "panel/SpinControl.h"
#include "panel/SpinImages.h"

#include <QLocale>
#include <QTest>
#include <QWindow>

#include <memory>

class SpinControlTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void atTheLimitOnlyBeeps();
    void valueSpinStepsMarksAndRunsOneCycle();
    void stepClampsAtTheLowerLimit();
    void middleLineBelongsToTheLowerHalf();
    void otherButtonsDoNothing();
    void gainSpinMarksWithoutCycle();
    void doubleClickStepsOnce();
    void disabledSpinTakesNoInput();

private:
    std::unique_ptr<PanelTestWindow> m_window;
};

void SpinControlTest::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void SpinControlTest::init()
{
    m_window = std::make_unique<PanelTestWindow>();
    QVERIFY(m_window->showActive());
}

void SpinControlTest::cleanup()
{
    m_window.reset();
}

void SpinControlTest::atTheLimitOnlyBeeps()
{
    SpinControl *spin = m_window->energySpin;
    QCOMPARE(spin->objectName(), QStringLiteral("Picture_value(0)"));
    QCOMPARE(spin->size(), QSize(SpinImages::kWidth, SpinImages::kHeight));
    QVERIFY(shows(spin, SpinImages::Kind::Rest));
    m_window->energy->setText(QStringLiteral("1000"));

    QTest::mousePress(spin, Qt::LeftButton, {}, kUpperHalf);
    QVERIFY(shows(spin, SpinImages::Kind::PlusPressed));
    QCOMPARE(m_window->ui.beeps, 1);
    QCOMPARE(m_window->energy->text(), QStringLiteral("1000"));
    QVERIFY(!m_window->energy->isMarked());
    QCOMPARE(m_window->cycles, 0);
    QTest::mouseRelease(spin, Qt::LeftButton, {}, kUpperHalf);
    QVERIFY(shows(spin, SpinImages::Kind::Rest));

    m_window->energy->setText(QStringLiteral("0"));
    QTest::mousePress(spin, Qt::LeftButton, {}, kLowerHalf);
    QVERIFY(shows(spin, SpinImages::Kind::MinusPressed));
    QCOMPARE(m_window->ui.beeps, 2);
    QCOMPARE(m_window->cycles, 0);
    QTest::mouseRelease(spin, Qt::LeftButton, {}, kLowerHalf);
    QVERIFY(shows(spin, SpinImages::Kind::Rest));
}

void SpinControlTest::valueSpinStepsMarksAndRunsOneCycle()
{
    m_window->energy->setText(QStringLiteral("999.5"));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, kUpperHalf);
    QCOMPARE(m_window->energy->text(), QStringLiteral("1000"));
    QCOMPARE(m_window->cycles, 1);
    // The cycle found the field marked with the new text and cleared the mark after sending.
    QCOMPARE(m_window->sent, QStringList{QStringLiteral("Text_Value(0)=1000")});
    QVERIFY(!m_window->energy->isMarked());
    QCOMPARE(m_window->ui.beeps, 0);

    // Modifier keys play no part.
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, Qt::ShiftModifier, kLowerHalf);
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, Qt::ControlModifier, kLowerHalf);
    QCOMPARE(m_window->energy->text(), QStringLiteral("998"));
    QCOMPARE(m_window->cycles, 3);
}

void SpinControlTest::stepClampsAtTheLowerLimit()
{
    m_window->cathode->setText(QStringLiteral("0.005"));
    QTest::mouseClick(m_window->cathodeSpin, Qt::LeftButton, {}, kLowerHalf);
    QCOMPARE(m_window->cathode->text(), QStringLiteral("0"));
    QCOMPARE(m_window->sent, QStringList{QStringLiteral("Text_Value(1)=0")});

    // Ten steps of 0.01 leave no rounding residue in the text.
    m_window->cathode->setText(QStringLiteral("1"));
    for (int i = 0; i < 10; ++i)
        QTest::mouseClick(m_window->cathodeSpin, Qt::LeftButton, {}, kUpperHalf);
    QCOMPARE(m_window->cathode->text(), QStringLiteral("1.1"));
}

void SpinControlTest::middleLineBelongsToTheLowerHalf()
{
    const int half = SpinImages::kHeight / 2;
    m_window->energy->setText(QStringLiteral("500"));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, QPoint(6, half));
    QCOMPARE(m_window->energy->text(), QStringLiteral("499"));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, QPoint(6, half - 1));
    QCOMPARE(m_window->energy->text(), QStringLiteral("500"));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, QPoint(0, 0));
    QCOMPARE(m_window->energy->text(), QStringLiteral("501"));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, QPoint(11, SpinImages::kHeight - 1));
    QCOMPARE(m_window->energy->text(), QStringLiteral("500"));
}

void SpinControlTest::otherButtonsDoNothing()
{
    m_window->energy->setText(QStringLiteral("500"));
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(m_window->energySpin, button, {}, kUpperHalf);
        QVERIFY(shows(m_window->energySpin, SpinImages::Kind::Rest));
        QTest::mouseRelease(m_window->energySpin, button, {}, kUpperHalf);
    }
    // A right release while the left button holds the minus image leaves it pressed.
    QTest::mousePress(m_window->energySpin, Qt::LeftButton, {}, kLowerHalf);
    QTest::mouseClick(m_window->energySpin, Qt::RightButton, {}, kLowerHalf);
    QVERIFY(shows(m_window->energySpin, SpinImages::Kind::MinusPressed));
    QTest::mouseRelease(m_window->energySpin, Qt::LeftButton, {}, kLowerHalf);
    QVERIFY(shows(m_window->energySpin, SpinImages::Kind::Rest));

    QCOMPARE(m_window->energy->text(), QStringLiteral("499"));
    QCOMPARE(m_window->cycles, 1);
    QCOMPARE(m_window->ui.beeps, 0);
}

void SpinControlTest::gainSpinMarksWithoutCycle()
{
    QCOMPARE(m_window->wehneltGainSpin->objectName(), QStringLiteral("Picture_gain(3)"));
    m_window->wehneltGain->setText(QStringLiteral("-10"));
    QTest::mouseClick(m_window->wehneltGainSpin, Qt::LeftButton, {}, kUpperHalf);
    QCOMPARE(m_window->wehneltGain->text(), QStringLiteral("-9"));
    QVERIFY(m_window->wehneltGain->isMarked());
    QCOMPARE(m_window->cycles, 0);

    // The next cycle (timer, Enter, a value spin click) sends it.
    m_window->energy->setText(QStringLiteral("10"));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, kUpperHalf);
    QCOMPARE(m_window->sent, (QStringList{QStringLiteral("Text_Value(0)=11"), QStringLiteral("Text_Gain(3)=-9")}));
}

void SpinControlTest::doubleClickStepsOnce()
{
    // Through the window, as the platform delivers it: press, release, a second press within
    // the double-click time (which the window system reports as a double-click), release.
    m_window->energy->setText(QStringLiteral("500"));
    QWindow *window = m_window->windowHandle();
    const QPoint at = window->mapFromGlobal(m_window->energySpin->mapToGlobal(kUpperHalf));
    QTest::mouseDClick(window, Qt::LeftButton, {}, at);
    QVERIFY(shows(m_window->energySpin, SpinImages::Kind::Rest));
    QCOMPARE(m_window->energy->text(), QStringLiteral("501"));
    QCOMPARE(m_window->cycles, 1);

    // Two clicks further apart than the double-click time step twice.
    QTest::mouseClick(window, Qt::LeftButton, {}, at);
    QTest::mouseClick(window, Qt::LeftButton, {}, at);
    QCOMPARE(m_window->energy->text(), QStringLiteral("503"));
}

void SpinControlTest::disabledSpinTakesNoInput()
{
    m_window->energy->setText(QStringLiteral("500"));
    m_window->energySpin->setConnectedImage(false);
    QVERIFY(!m_window->energySpin->isEnabled());
    QVERIFY(shows(m_window->energySpin, SpinImages::Kind::Disabled));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, kUpperHalf);
    QVERIFY(shows(m_window->energySpin, SpinImages::Kind::Disabled));
    QCOMPARE(m_window->energy->text(), QStringLiteral("500"));
    QCOMPARE(m_window->cycles, 0);

    m_window->energySpin->setConnectedImage(true);
    QVERIFY(shows(m_window->energySpin, SpinImages::Kind::Rest));
    QTest::mouseClick(m_window->energySpin, Qt::LeftButton, {}, kUpperHalf);
    QCOMPARE(m_window->energy->text(), QStringLiteral("501"));
}

QTEST_MAIN(SpinControlTest)
#include "SpinControlTest.moc"
