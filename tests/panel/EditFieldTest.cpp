// The range check of the edit fields, driven by real focus changes in a shown, active window.
#include "PanelTestWindow.h"

#include "panel/EditField.h"

#include <QApplication>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <memory>

class EditFieldTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void validEntriesKeptAsTyped_data();
    void validEntriesKeptAsTyped();
    void outOfRangeCorrected_data();
    void outOfRangeCorrected();
    void leavingByMouseChecks();
    void tabbingThroughMarks();
    void windowDeactivationDoesNotCheck();
    void fieldCarriesNameAndToolTip();

private:
    // Puts the focus into `field` with a click and types `text` over its contents.
    void typeInto(EditField *field, const QString &text);

    std::unique_ptr<PanelTestWindow> m_window;
};

void EditFieldTest::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void EditFieldTest::init()
{
    m_window = std::make_unique<PanelTestWindow>();
    QVERIFY(m_window->showActive());
}

void EditFieldTest::cleanup()
{
    m_window.reset();
}

void EditFieldTest::typeInto(EditField *field, const QString &text)
{
    QTest::mouseClick(field, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), field);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
    QCOMPARE(field->text(), text);
}

void EditFieldTest::validEntriesKeptAsTyped_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("text");
    QTest::newRow("comma decimal") << "Text_Value(0)" << "1,5";
    QTest::newRow("energy upper limit") << "Text_Value(0)" << "1000";
    QTest::newRow("energy lower limit") << "Text_Value(0)" << "0";
    QTest::newRow("not a number") << "Text_Value(0)" << "abc";
    QTest::newRow("cathode upper limit") << "Text_Value(1)" << "2.3";
    QTest::newRow("Wehnelt gain lower limit") << "Text_Gain(3)" << "-150";
}

void EditFieldTest::validEntriesKeptAsTyped()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, text);
    EditField *field = m_window->findField(PanelField::fromControlName(fieldName));
    QVERIFY(field);
    typeInto(field, text);
    QVERIFY(!field->isMarked());

    pressKey(Qt::Key_Tab);
    QCoreApplication::processEvents();
    QVERIFY(QApplication::focusWidget() != field);
    QCOMPARE(m_window->ui.messages.size(), 0);
    QCOMPARE(m_window->ui.beeps, 0);
    QCOMPARE(field->text(), text);
    QVERIFY(field->isMarked());
}

void EditFieldTest::outOfRangeCorrected_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("corrected");
    QTest::newRow("energy above") << "Text_Value(0)" << "1200" << "Valid range is 0 ... 1000" << "1000";
    QTest::newRow("energy infinite") << "Text_Value(0)" << "1e39" << "Valid range is 0 ... 1000" << "1000";
    QTest::newRow("cathode above") << "Text_Value(1)" << "3" << "Valid range is 0 ... 2.3" << "2.3";
    QTest::newRow("Wehnelt gain above") << "Text_Gain(3)" << "10" << "Valid range is -150 ... 0" << "0";
    QTest::newRow("Wehnelt gain below") << "Text_Gain(3)" << "-151" << "Valid range is -150 ... 0" << "-150";
}

void EditFieldTest::outOfRangeCorrected()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, corrected);
    EditField *field = m_window->findField(PanelField::fromControlName(fieldName));
    QVERIFY(field);
    typeInto(field, text);

    // While the message is up the field still holds the entry and carries no mark.
    QString textDuringMessage;
    bool markedDuringMessage = true;
    m_window->ui.onMessage = [&](const RecordingUserInterface::Message &) {
        textDuringMessage = field->text();
        markedDuringMessage = field->isMarked();
    };

    pressKey(Qt::Key_Tab);
    QWidget *taker = QApplication::focusWidget();
    QVERIFY(taker != field);

    QCOMPARE(m_window->ui.beeps, 1);
    QCOMPARE(m_window->ui.messages.size(), 1);
    QCOMPARE(m_window->ui.messages[0].text, message);
    QCOMPARE(m_window->ui.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(m_window->ui.messages[0].icon, UserInterface::Icon::Critical);
    QCOMPARE(textDuringMessage, text);
    QVERIFY(!markedDuringMessage);
    QCOMPARE(field->text(), corrected);
    QVERIFY(field->isMarked());

    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(field));
    // Taking the focus back is not the operator leaving the control that had it meanwhile.
    if (auto *other = qobject_cast<EditField *>(taker))
        QVERIFY(!other->isMarked());
    QCOMPARE(m_window->ui.messages.size(), 1);
    QCOMPARE(m_window->ui.beeps, 1);
}

void EditFieldTest::leavingByMouseChecks()
{
    typeInto(m_window->energy, QStringLiteral("1200"));
    QTest::mouseClick(m_window->button, Qt::LeftButton);
    QCOMPARE(m_window->ui.messages.size(), 1);
    QCOMPARE(m_window->energy->text(), QStringLiteral("1000"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->energy));

    // A corrected field that is left again is now valid: no second message, marked again.
    m_window->model.clearMark(PanelField::value(0));
    QTest::mouseClick(m_window->cathode, Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->cathode));
    QCOMPARE(m_window->ui.messages.size(), 1);
    QVERIFY(m_window->energy->isMarked());
}

void EditFieldTest::tabbingThroughMarks()
{
    m_window->energy->setText(QStringLiteral("250"));
    m_window->cathode->setText(QStringLiteral("1.5"));
    QTest::mouseClick(m_window->energy, Qt::LeftButton);
    pressKey(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->cathode));
    QVERIFY(m_window->energy->isMarked());
    QVERIFY(!m_window->cathode->isMarked());
    pressKey(Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->energy));
    QVERIFY(m_window->cathode->isMarked());
    QCOMPARE(m_window->ui.messages.size(), 0);
    QCOMPARE(m_window->energy->text(), QStringLiteral("250"));
}

void EditFieldTest::windowDeactivationDoesNotCheck()
{
    typeInto(m_window->energy, QStringLiteral("1200"));

    QWidget other;
    other.setWindowTitle(QStringLiteral("other"));
    other.show();
    QApplication::setActiveWindow(&other);
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!m_window->energy->hasFocus());
    QCOMPARE(m_window->ui.messages.size(), 0);
    QCOMPARE(m_window->energy->text(), QStringLiteral("1200"));
    QVERIFY(!m_window->energy->isMarked());

    QApplication::setActiveWindow(m_window.get());
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->energy));
    QCOMPARE(m_window->ui.messages.size(), 0);

    // Leaving it for another control afterwards does check.
    pressKey(Qt::Key_Tab);
    QCOMPARE(m_window->ui.messages.size(), 1);
    QCOMPARE(m_window->energy->text(), QStringLiteral("1000"));
}

void EditFieldTest::fieldCarriesNameAndToolTip()
{
    // The tool tips are fixed texts, not built from the table (module 1 is "Cathode" for both models).
    QCOMPARE(m_window->cathode->objectName(), QStringLiteral("Text_Value(1)"));
    QCOMPARE(m_window->cathode->toolTip(), QStringLiteral("Cathode = 0 ... 2.3 A"));
    QCOMPARE(m_window->wehneltGain->toolTip(), QStringLiteral("Gain = -150 ... 0"));
    QCOMPARE(EditField::toolTipFor(PanelField::offset(7)), QStringLiteral("Offset = -20 ... 100"));
    QCOMPARE(EditField::toolTipFor(PanelField::gain(6)), QStringLiteral("Gain = 0 ... 500"));
    QCOMPARE(EditField::toolTipFor(PanelField::offset(6)), QString());
}

QTEST_MAIN(EditFieldTest)
#include "EditFieldTest.moc"
