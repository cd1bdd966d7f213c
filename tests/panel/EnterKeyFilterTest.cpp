// The Enter key, typed with real key events into a shown, active window with the filter
// installed on the application.
#include "PanelTestWindow.h"

#include "panel/EditField.h"
#include "panel/EnterKeyFilter.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWindow>

#include <memory>

class EnterKeyFilterTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void enterInAFieldSendsAndSelects();
    void enterOnAButtonOnlyRunsACycle();
    void selectsTheFieldFocusedAfterTheCycle();
    void otherKeysPass();
    void enterThroughTheWindowSystem();
    void inactiveOrModalWindowIsLeftAlone();

private:
    std::unique_ptr<PanelTestWindow> m_window;
    std::unique_ptr<EnterKeyFilter> m_filter;
};

void EnterKeyFilterTest::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void EnterKeyFilterTest::init()
{
    m_window = std::make_unique<PanelTestWindow>();
    m_filter = std::make_unique<EnterKeyFilter>(*m_window);
    connect(m_filter.get(), &EnterKeyFilter::refreshRequested, m_window.get(), &PanelTestWindow::refreshCycle);
    qApp->installEventFilter(m_filter.get());
    QVERIFY(m_window->showActive());
}

void EnterKeyFilterTest::cleanup()
{
    m_filter.reset();
    m_window.reset();
}

void EnterKeyFilterTest::enterInAFieldSendsAndSelects()
{
    EditField *energy = m_window->energy;
    QTest::mouseClick(energy, Qt::LeftButton);
    QTest::keyClicks(energy, QStringLiteral("250"));
    QSignalSpy returns(energy, &QLineEdit::returnPressed);
    bool markedDuringCycle = false;
    m_window->duringCycle = [&] { markedDuringCycle = energy->isMarked(); };

    pressKey(Qt::Key_Return);
    QCOMPARE(m_window->cycles, 1);
    QVERIFY(markedDuringCycle);
    QCOMPARE(m_window->sent, QStringList{QStringLiteral("Text_Value(0)=250")});
    QCOMPARE(returns.count(), 0); // consumed before the field saw it
    QCOMPARE(energy->text(), QStringLiteral("250"));
    QCOMPARE(energy->selectedText(), QStringLiteral("250"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(energy));
    QVERIFY(!energy->isMarked());

    // The next digit replaces the selected text. Enter makes no range check.
    QTest::keyClicks(energy, QStringLiteral("1200"));
    pressKey(Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(m_window->cycles, 2);
    QCOMPARE(m_window->sent.last(), QStringLiteral("Text_Value(0)=1200"));
    QCOMPARE(m_window->ui.messages.size(), 0);
    QCOMPARE(energy->selectedText(), QStringLiteral("1200"));
    QCOMPARE(returns.count(), 0);

    // Shift+Enter is still the Enter character.
    pressKey(Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(m_window->cycles, 3);
}

void EnterKeyFilterTest::enterOnAButtonOnlyRunsACycle()
{
    QPushButton *button = m_window->button;
    m_window->energy->setText(QStringLiteral("250"));
    button->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(button));
    m_window->model.clearMark(PanelField::value(0)); // leaving the field for the button marked it
    QSignalSpy clicks(button, &QPushButton::clicked);

    pressKey(Qt::Key_Return);
    QCOMPARE(m_window->cycles, 1);
    QVERIFY(m_window->sent.isEmpty());
    QCOMPARE(clicks.count(), 0);
    QVERIFY(!m_window->energy->hasSelectedText());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(button));
}

void EnterKeyFilterTest::selectsTheFieldFocusedAfterTheCycle()
{
    m_window->energy->setText(QStringLiteral("250"));
    m_window->cathode->setText(QStringLiteral("1.5"));
    QTest::mouseClick(m_window->energy, Qt::LeftButton);
    m_window->energy->deselect();
    m_window->duringCycle = [this] { m_window->cathode->setFocus(Qt::OtherFocusReason); };

    pressKey(Qt::Key_Return);
    QCOMPARE(m_window->cycles, 1);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_window->cathode));
    QCOMPARE(m_window->cathode->selectedText(), QStringLiteral("1.5"));
    // The mark went to the field that had the focus when Enter was typed.
    QCOMPARE(m_window->sent.first(), QStringLiteral("Text_Value(0)=250"));
}

void EnterKeyFilterTest::otherKeysPass()
{
    EditField *energy = m_window->energy;
    QTest::mouseClick(energy, Qt::LeftButton);
    QTest::keyClicks(energy, QStringLiteral("25"));
    pressKey(Qt::Key_0);
    pressKey(Qt::Key_Backspace);
    pressKey(Qt::Key_Up);
    QCOMPARE(energy->text(), QStringLiteral("25"));
    QVERIFY(!energy->isMarked());

    // Ctrl+Enter is not the Enter character: the field gets it.
    QSignalSpy returns(energy, &QLineEdit::returnPressed);
    pressKey(Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(m_window->cycles, 0);
    QCOMPARE(returns.count(), 1);
}

void EnterKeyFilterTest::enterThroughTheWindowSystem()
{
    // Delivered as the platform does, the key passes the window before the focused field:
    // it must still be handled exactly once.
    EditField *cathode = m_window->cathode;
    cathode->setText(QStringLiteral("1.5"));
    cathode->setFocus(Qt::OtherFocusReason);
    m_window->model.clearMark(PanelField::value(0));
    QSignalSpy returns(cathode, &QLineEdit::returnPressed);
    QTest::keyClick(m_window->windowHandle(), Qt::Key_Return);
    QCOMPARE(m_window->cycles, 1);
    QCOMPARE(m_window->sent, QStringList{QStringLiteral("Text_Value(1)=1.5")});
    QCOMPARE(returns.count(), 0);
    QCOMPARE(cathode->selectedText(), QStringLiteral("1.5"));

    // With no focused control there is nothing to confirm: no cycle runs.
    cathode->clearFocus();
    QCOMPARE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(m_window->windowHandle(), Qt::Key_Return);
    QCOMPARE(m_window->cycles, 1);
}

void EnterKeyFilterTest::inactiveOrModalWindowIsLeftAlone()
{
    QDialog dialog(m_window.get());
    auto *layout = new QVBoxLayout(&dialog);
    auto *edit = new QLineEdit(&dialog);
    layout->addWidget(edit);
    dialog.setModal(true);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus(Qt::OtherFocusReason);
    QSignalSpy returns(edit, &QLineEdit::returnPressed);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(returns.count(), 1);
    QCOMPARE(m_window->cycles, 0);
    dialog.hide();

    // An open popup (a menu) of the active main window gets its Enter as usual.
    QVERIFY(m_window->showActive());
    auto *menu = new QMenu(m_window.get());
    QAction *item = menu->addAction(QStringLiteral("Refresh All"));
    QSignalSpy triggered(item, &QAction::triggered);
    menu->popup(m_window->mapToGlobal(QPoint(0, 0)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    menu->setActiveAction(item);
    QTest::keyClick(menu, Qt::Key_Return);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(m_window->cycles, 0);

    // Another window is active: a key sent to the main window's field is not confirmed.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QSignalSpy fieldReturns(m_window->energy, &QLineEdit::returnPressed);
    QTest::keyClick(m_window->energy, Qt::Key_Return);
    QCOMPARE(m_window->cycles, 0);
    QCOMPARE(fieldReturns.count(), 1);
}

QTEST_MAIN(EnterKeyFilterTest)
#include "EnterKeyFilterTest.moc"
