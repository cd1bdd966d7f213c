// Operating the real main window from the keyboard alone: the Enter key, the focus order, the
// access keys of the module captions and the refresh shortcuts, with the virtual supply on the line.
#include "PanelWindowFixture.h"

#include <QAction>
#include <QtTest>

#include <algorithm>

class PanelWindowKeyboardTest : public QObject
{
    Q_OBJECT
private slots:
    void enterSendsAndSelects();
    void enterCorrectsBeforeSendingAndLeavingMarksAgain();
    void enterOnAButtonOnlyRunsACycle();
    void tabVisitsEveryFieldInReadingOrder();
    void accessKeysFocusTheGroupsFirstField_data();
    void accessKeysFocusTheGroupsFirstField();
    void refreshShortcuts();
};

void PanelWindowKeyboardTest::enterSendsAndSelects()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    EditField *energy = fixture.field(QStringLiteral("Text_Value(0)"));
    fixture.typeInto(energy, QStringLiteral("250"));
    fixture.settle();

    fixture.key(Qt::Key_Return);
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN250")});
    QCOMPARE(energy->text(), QStringLiteral("250"));
    QCOMPARE(energy->selectedText(), QStringLiteral("250"));
    QVERIFY(!energy->isMarked());
    QCOMPARE(fixture.focusName(), QStringLiteral("Text_Value(0)"));
    QCOMPARE(fixture.supply.model().energy(), 250.0f);

    // The next number typed replaces the selected one; the keypad Enter confirms it as well.
    QTest::keyClicks(energy, QStringLiteral("300"));
    fixture.key(Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(fixture.wire(), (QStringList{QStringLiteral("VEN250"), QStringLiteral("VEN300")}));

    // With auto refresh on, the same cycle reads the monitors back after sending.
    fixture.window->state().setAutoRefresh(true);
    fixture.supply.clearLog();
    fixture.key(Qt::Key_Return);
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN300")} + readPass());
    QVERIFY(fixture.ui.messages.isEmpty());
}

void PanelWindowKeyboardTest::enterCorrectsBeforeSendingAndLeavingMarksAgain()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    EditField *energy = fixture.field(QStringLiteral("Text_Value(0)"));
    fixture.typeInto(energy, QStringLiteral("1200"));
    fixture.settle();

    // Beyond the limit nothing goes out as typed: the range check comes first.
    fixture.key(Qt::Key_Return);
    QCOMPARE(fixture.ui.messages.size(), 1);
    QCOMPARE(fixture.ui.messages[0].text, QStringLiteral("Valid range is 0 ... 1000"));
    QCOMPARE(fixture.ui.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN1000")});
    QCOMPARE(energy->text(), QStringLiteral("1000"));
    QCOMPARE(fixture.focusName(), QStringLiteral("Text_Value(0)"));

    // Leaving the corrected field is silent and marks it for the next cycle, as always.
    fixture.supply.clearLog();
    fixture.key(Qt::Key_Tab);
    QCOMPARE(fixture.ui.messages.size(), 1);
    QVERIFY(energy->isMarked());
    QVERIFY(fixture.wire().isEmpty());

    fixture.cycle();
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN1000")});
    QCOMPARE(fixture.supply.model().energy(), 1000.0f);
}

void PanelWindowKeyboardTest::enterOnAButtonOnlyRunsACycle()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    QPushButton *on = fixture.button(QStringLiteral("Command_On(1)"));
    EditField *gain = fixture.field(QStringLiteral("Text_Gain(4)"));
    on->setFocus(Qt::TabFocusReason);
    fixture.settle();
    // A gain stepped earlier is pending; the cycle that Enter runs sends it.
    gain->setText(QStringLiteral("120"));
    gain->mark();
    QSignalSpy clicks(on, &QPushButton::clicked);

    fixture.key(Qt::Key_Return);
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("GAN120")});
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(fixture.window->model().switchRequest(1), SupplyModel::SwitchRequest::None);
    QCOMPARE(fixture.focusName(), QStringLiteral("Command_On(1)"));
    QVERIFY(!gain->hasSelectedText());

    // Space is the button's own key and clicks it: the request waits for the next cycle.
    fixture.key(Qt::Key_Space);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(fixture.window->model().switchRequest(1), SupplyModel::SwitchRequest::On);
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("GAN120")});
}

void PanelWindowKeyboardTest::tabVisitsEveryFieldInReadingOrder()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    QWidget *first = fixture.field(QStringLiteral("Text_Value(0)"));
    first->setFocus(Qt::OtherFocusReason);
    fixture.settle();

    // Reading order: the top row of groups before the bottom row, groups left to right, and
    // inside a group top to bottom, then left to right.
    QList<QWidget *> focusable;
    for (QWidget *widget : fixture.window->centralWidget()->findChildren<QWidget *>())
        if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus))
            focusable << widget;
    auto groupOf = [](QWidget *widget) {
        QWidget *group = widget;
        while (group->parentWidget() && group->parentWidget()->objectName() != QStringLiteral("Panel"))
            group = group->parentWidget();
        return group;
    };
    auto readingKey = [&](QWidget *widget) {
        const QWidget *group = groupOf(widget);
        const QPoint inGroup = widget->mapTo(group, QPoint(0, 0));
        return std::make_tuple(group->y(), group->x(), inGroup.y(), inGroup.x());
    };
    std::sort(focusable.begin(), focusable.end(),
              [&](QWidget *a, QWidget *b) { return readingKey(a) < readingKey(b); });
    QStringList expected;
    for (QWidget *widget : focusable)
        expected << widget->objectName();
    QCOMPARE(expected.first(), QStringLiteral("Text_Value(0)"));
    for (const PanelField &field : kPanelFields)
        QVERIFY2(expected.contains(field.controlName()), qPrintable(field.controlName()));
    QVERIFY(expected.contains(QStringLiteral("DA_set_voltage")));

    QStringList visited = {fixture.focusName()};
    for (int i = 1; i < expected.size(); ++i) {
        fixture.key(Qt::Key_Tab);
        visited << fixture.focusName();
    }
    QCOMPARE(visited, expected);
    // Round the window and back to the start; Shift+Tab walks the same way back.
    fixture.key(Qt::Key_Tab);
    QCOMPARE(fixture.focusName(), QStringLiteral("Text_Value(0)"));
    fixture.key(Qt::Key_Backtab);
    QCOMPARE(fixture.focusName(), expected.last());
    fixture.key(Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(fixture.focusName(), expected.at(expected.size() - 2));

    // Every field was left once: all marked, none corrected.
    QVERIFY(fixture.ui.messages.isEmpty());
    for (const PanelField &field : kPanelFields)
        QVERIFY(fixture.window->model().isMarked(field));
}

void PanelWindowKeyboardTest::accessKeysFocusTheGroupsFirstField_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("fieldName");
    QTest::newRow("Alt+E energy") << int(Qt::Key_E) << "Text_Value(0)";
    QTest::newRow("Alt+C cathode") << int(Qt::Key_C) << "Text_Value(1)";
    QTest::newRow("Alt+N screen") << int(Qt::Key_N) << "Text_Value(2)";
    QTest::newRow("Alt+W Wehnelt") << int(Qt::Key_W) << "Text_Gain(3)";
    QTest::newRow("Alt+A anode") << int(Qt::Key_A) << "Text_Gain(4)";
    QTest::newRow("Alt+1 L1/3") << int(Qt::Key_1) << "Text_Gain(5)";
    QTest::newRow("Alt+S suppressor") << int(Qt::Key_S) << "Text_Gain(6)";
    QTest::newRow("Alt+2 L2") << int(Qt::Key_2) << "Text_Gain(7)";
}

void PanelWindowKeyboardTest::accessKeysFocusTheGroupsFirstField()
{
    QFETCH(int, key);
    QFETCH(QString, fieldName);
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    // Start from a field of another group, so the move is visible and leaves that field.
    const QString startName = fieldName == QStringLiteral("Text_Offset(3)") ? QStringLiteral("Text_Offset(4)")
                                                                             : QStringLiteral("Text_Offset(3)");
    EditField *start = fixture.field(startName);
    start->setFocus(Qt::OtherFocusReason);
    fixture.settle();

    fixture.key(Qt::Key(key), Qt::AltModifier);
    QCOMPARE(fixture.focusName(), fieldName);
    QVERIFY(start->isMarked());
    // Pressed again, the key stays with the caption (Alt+A is also the About menu's letter).
    fixture.key(Qt::Key(key), Qt::AltModifier);
    QCOMPARE(fixture.focusName(), fieldName);
    // Only the focus moves: no menu opened, no command ran, no message.
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    QVERIFY(fixture.ui.messages.isEmpty());
    QCoreApplication::processEvents();
    QVERIFY(fixture.wire().isEmpty());
}

void PanelWindowKeyboardTest::refreshShortcuts()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    auto *autoRefresh = fixture.window->findChild<QAction *>(QStringLiteral("mnuAutoRefresh"));
    QVERIFY(autoRefresh);
    fixture.field(QStringLiteral("Text_Gain(3)"))->setFocus(Qt::OtherFocusReason);
    fixture.settle();

    // F5 is Refresh All: every module read, the edit fields and the control voltage rewritten
    // from the supply, and the energy read back sent again through the control voltage.
    fixture.supply.updateModel([](InstrumentModel &model) {
        model.setEnergy(420.0f);
        model.setGain(5, 55.0f);
    });
    fixture.key(Qt::Key_F5);
    QCOMPARE(fixture.wire(), readPass() + QStringList{QStringLiteral("VEN420")});
    QCOMPARE(fixture.field(QStringLiteral("Text_Value(0)"))->text(), QStringLiteral("420"));
    QCOMPARE(fixture.field(QStringLiteral("Text_Gain(5)"))->text(), QStringLiteral("55"));
    QCOMPARE(fixture.controlVoltage()->text(), QStringLiteral("4.2"));
    QVERIFY(!fixture.window->model().isMarked(PanelField::value(0)));

    // Shift+F5 toggles auto refresh, and its check mark with it.
    QVERIFY(!fixture.window->state().autoRefresh());
    fixture.key(Qt::Key_F5, Qt::ShiftModifier);
    QVERIFY(fixture.window->state().autoRefresh());
    QVERIFY(autoRefresh->isChecked());
    fixture.key(Qt::Key_F5, Qt::ShiftModifier);
    QVERIFY(!fixture.window->state().autoRefresh());
    QVERIFY(!autoRefresh->isChecked());
    QCOMPARE(fixture.focusName(), QStringLiteral("Text_Gain(3)"));
    QVERIFY(fixture.ui.messages.isEmpty());
}

QTEST_MAIN(PanelWindowKeyboardTest)
#include "PanelWindowKeyboardTest.moc"
