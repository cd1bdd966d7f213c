// Value entry through the real main window on the virtual supply: the range check when a field
// is left, the On and Off buttons, and the control voltage, each followed to the wire.
#include "PanelWindowFixture.h"

#include "panel/OnOffLamp.h"

#include <QtTest>

class PanelWindowEntryTest : public QObject
{
    Q_OBJECT
private slots:
    void validEntryKeptAndSentByTheNextCycle_data();
    void validEntryKeptAndSentByTheNextCycle();
    void outOfRangeCorrectedThenSent_data();
    void outOfRangeCorrectedThenSent();
    void tabbingThroughMarksAndTheCycleResends();
    void noPanelPathSendsBeyondTheLimits();
    void onThenOffLeavesOffForTheCycle();
    void controlVoltageSendsAtOnce();
    void controlVoltageIgnoredWhileTheEnergyFieldIsDisabled();
    void controlVoltageKeepsTheSimulationInStep();
};

void PanelWindowEntryTest::validEntryKeptAndSentByTheNextCycle_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("command");
    QTest::newRow("decimal comma") << "Text_Value(0)" << "1,5" << "VEN1.5";
    QTest::newRow("energy upper limit") << "Text_Value(0)" << "1000" << "VEN1000";
    QTest::newRow("energy lower limit") << "Text_Value(0)" << "0" << "VEN0";
    QTest::newRow("cathode upper limit") << "Text_Value(1)" << "2.3" << "VCA2.3";
    QTest::newRow("screen upper limit in volts") << "Text_Value(2)" << "10" << "VSC10000";
    QTest::newRow("Wehnelt gain lower limit") << "Text_Gain(3)" << "-150" << "GWE-150";
    QTest::newRow("L1/3 offset lower limit") << "Text_Offset(5)" << "-20" << "OL1-20";
    QTest::newRow("L2 offset upper limit") << "Text_Offset(7)" << "100" << "OL2100";
}

void PanelWindowEntryTest::validEntryKeptAndSentByTheNextCycle()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, text);
    QFETCH(QString, command);
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    EditField *edit = fixture.field(fieldName);
    QVERIFY(edit);
    fixture.typeInto(edit, text);
    fixture.settle();

    fixture.key(Qt::Key_Tab);
    QVERIFY(fixture.focusName() != fieldName);
    QVERIFY(fixture.ui.messages.isEmpty());
    QCOMPARE(fixture.ui.beeps, 0);
    QCOMPARE(edit->text(), text);
    QVERIFY(edit->isMarked());
    // Leaving the field sends nothing by itself.
    QCoreApplication::processEvents();
    QVERIFY(fixture.wire().isEmpty());

    fixture.cycle();
    QCOMPARE(fixture.wire(), QStringList{command});
    QVERIFY(!edit->isMarked());
    QCOMPARE(edit->text(), text);
}

void PanelWindowEntryTest::outOfRangeCorrectedThenSent_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<QString>("command");
    QTest::newRow("energy") << "Text_Value(0)" << "1200" << "Valid range is 0 ... 1000" << "1000" << "VEN1000";
    QTest::newRow("cathode") << "Text_Value(1)" << "3" << "Valid range is 0 ... 2.3" << "2.3" << "VCA2.3";
    QTest::newRow("Wehnelt gain") << "Text_Gain(3)" << "10" << "Valid range is -150 ... 0" << "0" << "GWE0";
}

void PanelWindowEntryTest::outOfRangeCorrectedThenSent()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, corrected);
    QFETCH(QString, command);
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    EditField *edit = fixture.field(fieldName);
    QVERIFY(edit);
    fixture.typeInto(edit, text);
    fixture.settle();

    // While the box is up nothing has gone out and the field still holds the entry unmarked.
    QStringList wireDuringMessage = {QStringLiteral("unset")};
    QString textDuringMessage;
    bool markedDuringMessage = true;
    fixture.ui.onMessage = [&](const RecordingUserInterface::Message &) {
        wireDuringMessage = fixture.wire();
        textDuringMessage = edit->text();
        markedDuringMessage = edit->isMarked();
    };
    fixture.key(Qt::Key_Tab);

    QCOMPARE(fixture.ui.beeps, 1);
    QCOMPARE(fixture.ui.messages.size(), 1);
    QCOMPARE(fixture.ui.messages[0].text, message);
    QCOMPARE(fixture.ui.messages[0].title, QStringLiteral("Error"));
    QCOMPARE(fixture.ui.messages[0].icon, UserInterface::Icon::Critical);
    QVERIFY(wireDuringMessage.isEmpty());
    QCOMPARE(textDuringMessage, text);
    QVERIFY(!markedDuringMessage);
    QCOMPARE(edit->text(), corrected);
    QVERIFY(edit->isMarked());
    QTRY_COMPARE(fixture.focusName(), fieldName);

    // The corrected limit goes out, and nothing for the field the focus visited meanwhile.
    fixture.cycle();
    QCOMPARE(fixture.wire(), QStringList{command});
    QCOMPARE(fixture.ui.messages.size(), 1);
}

void PanelWindowEntryTest::tabbingThroughMarksAndTheCycleResends()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    EditField *energy = fixture.field(QStringLiteral("Text_Value(0)"));
    EditField *wehneltGain = fixture.field(QStringLiteral("Text_Gain(3)"));
    energy->setFocus(Qt::OtherFocusReason);
    fixture.settle();
    const QString shown = energy->text();

    fixture.key(Qt::Key_Tab);
    QCOMPARE(fixture.focusName(), QStringLiteral("Text_Gain(3)"));
    QVERIFY(energy->isMarked());
    QVERIFY(!wehneltGain->isMarked());
    fixture.key(Qt::Key_Tab);
    QVERIFY(wehneltGain->isMarked());
    QVERIFY(fixture.ui.messages.isEmpty());

    fixture.cycle();
    QCOMPARE(fixture.wire(), (QStringList{QStringLiteral("VEN") + shown, QStringLiteral("GWE") + wehneltGain->text()}));
    QCOMPARE(energy->text(), shown);
}

void PanelWindowEntryTest::onThenOffLeavesOffForTheCycle()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    QPushButton *on = fixture.button(QStringLiteral("Command_On(1)"));
    QPushButton *off = fixture.button(QStringLiteral("Command_Off(1)"));
    auto *lamp = fixture.window->findChild<OnOffLamp *>(QStringLiteral("Label_OnOff(1)"));
    QVERIFY(on && off && lamp);
    QCOMPARE(on->text(), QStringLiteral("ON"));
    QCOMPARE(off->text(), QStringLiteral("OFF"));
    on->setFocus(Qt::OtherFocusReason);
    fixture.settle();
    const bool lit = lamp->isLit();

    QTest::mouseClick(on, Qt::LeftButton);
    QCOMPARE(fixture.window->model().switchRequest(1), SupplyModel::SwitchRequest::On);
    QTest::mouseClick(off, Qt::LeftButton);
    QCOMPARE(fixture.window->model().switchRequest(1), SupplyModel::SwitchRequest::Off);
    QCOMPARE(lamp->isLit(), lit);
    QCoreApplication::processEvents();
    QVERIFY(fixture.wire().isEmpty());
    QVERIFY(fixture.ui.messages.isEmpty());

    fixture.cycle();
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("SCAOFF")});
    QCOMPARE(fixture.window->model().switchRequest(1), SupplyModel::SwitchRequest::None);
    QVERIFY(!fixture.supply.model().isOn(1));

    // The screen's pair works the same way, with the last click deciding.
    QTest::mouseClick(fixture.button(QStringLiteral("Command_Off(2)")), Qt::LeftButton);
    QTest::mouseClick(fixture.button(QStringLiteral("Command_On(2)")), Qt::LeftButton);
    fixture.cycle();
    QCOMPARE(fixture.wire().last(), QStringLiteral("SSCON"));
}

void PanelWindowEntryTest::controlVoltageSendsAtOnce()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    EditField *energy = fixture.field(QStringLiteral("Text_Value(0)"));
    // An earlier edit of the energy field is pending: the new energy withdraws it.
    energy->mark();

    fixture.window->model().pokeItem(QStringLiteral("DA_set_voltage"), QStringLiteral("2,5"));
    QCOMPARE(energy->text(), QStringLiteral("250"));
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN250")});
    QVERIFY(!energy->isMarked());
    QCOMPARE(fixture.supply.model().energy(), 250.0f);
    fixture.cycle();
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN250")});

    // Beyond the energy limits, or beyond single precision, there is no energy to send: nothing
    // is written or sent (the control link refuses such a poke before).
    fixture.supply.clearLog();
    for (const char *voltage : {"20", "-0.5", "1E37"}) {
        fixture.window->model().pokeItem(QStringLiteral("DA_set_voltage"), QLatin1String(voltage));
        QCOMPARE(energy->text(), QStringLiteral("250"));
    }
    fixture.window->model().pokeItem(QStringLiteral("DA_set_voltage"), QStringLiteral("10"));
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN1000")}); // the limit itself goes out
    QVERIFY(fixture.ui.messages.isEmpty());
}

void PanelWindowEntryTest::controlVoltageIgnoredWhileTheEnergyFieldIsDisabled()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    EditField *energy = fixture.field(QStringLiteral("Text_Value(0)"));
    const QString shown = energy->text();
    // The port stays open: only the disabled field keeps the value off the wire.
    fixture.window->model().setEditable(false);
    QVERIFY(!energy->isEnabled());

    fixture.window->model().pokeItem(QStringLiteral("DA_set_voltage"), QStringLiteral("3"));
    QCOMPARE(fixture.controlVoltage()->text(), QStringLiteral("3"));
    QCOMPARE(energy->text(), shown);
    QCoreApplication::processEvents();
    QVERIFY(fixture.wire().isEmpty());
}

void PanelWindowEntryTest::controlVoltageKeepsTheSimulationInStep()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    fixture.window->state().simulationMode = true;

    fixture.window->model().pokeItem(QStringLiteral("DA_set_voltage"), QStringLiteral("1,5"));
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN150")});
    QCOMPARE(fixture.window->simulation().state().SimValue[0], 150.0f);
    QCOMPARE(fixture.window->simulation().state().SimUMon[0], 150.0f);

    // Out of simulation the simulated state is left alone.
    fixture.window->state().simulationMode = false;
    fixture.window->model().pokeItem(QStringLiteral("DA_set_voltage"), QStringLiteral("4"));
    QCOMPARE(fixture.wire().last(), QStringLiteral("VEN400"));
    QCOMPARE(fixture.window->simulation().state().SimValue[0], 150.0f);
}

void PanelWindowEntryTest::noPanelPathSendsBeyondTheLimits()
{
    PanelWindowFixture fixture;
    QVERIFY(fixture.open());
    const auto checkOneCorrection = [&fixture](const QString &message, const QStringList &wire) {
        QCOMPARE(fixture.ui.beeps, 1);
        QCOMPARE(fixture.ui.messages.size(), 1);
        QCOMPARE(fixture.ui.messages[0].text, message);
        QCOMPARE(fixture.ui.messages[0].title, QStringLiteral("Error"));
        QCOMPARE(fixture.wire(), wire);
    };

    // Enter sends the field at once: corrected first, the limit goes out, the focus stays.
    EditField *cathode = fixture.field(QStringLiteral("Text_Value(1)"));
    fixture.typeInto(cathode, QStringLiteral("3"));
    fixture.settle();
    fixture.key(Qt::Key_Return);
    checkOneCorrection(QStringLiteral("Valid range is 0 ... 2.3"), {QStringLiteral("VCA2.3")});
    QCOMPARE(cathode->text(), QStringLiteral("2.3"));
    QCOMPARE(cathode->selectedText(), QStringLiteral("2.3"));
    QCOMPARE(fixture.focusName(), QStringLiteral("Text_Value(1)"));

    // Typed into a field that was already marked, before the cycle ran.
    EditField *energy = fixture.field(QStringLiteral("Text_Value(0)"));
    fixture.settle();
    energy->mark();
    energy->setText(QStringLiteral("1200"));
    fixture.cycle();
    checkOneCorrection(QStringLiteral("Valid range is 0 ... 1000"), {QStringLiteral("VEN1000")});
    QCOMPARE(energy->text(), QStringLiteral("1000"));

    // A spin step from a text beyond the limits, a gain and an offset in one cycle.
    fixture.settle();
    fixture.field(QStringLiteral("Text_Gain(3)"))->setText(QStringLiteral("10"));
    fixture.field(QStringLiteral("Text_Gain(3)"))->mark();
    fixture.field(QStringLiteral("Text_Offset(5)"))->setText(QStringLiteral("-20"));
    fixture.field(QStringLiteral("Text_Offset(5)"))->mark();
    energy->setText(QStringLiteral("-5"));
    SpinControl *energySpin = fixture.spin(QStringLiteral("Picture_value(0)"));
    QTest::mouseClick(energySpin, Qt::LeftButton, {}, QPoint(energySpin->width() / 2, 2));
    QVERIFY(waitForLine(fixture.window->line()));
    QCOMPARE(fixture.ui.messages.size(), 2);
    QCOMPARE(fixture.wire(), (QStringList{QStringLiteral("VEN0"), QStringLiteral("GWE0"), QStringLiteral("OL1-20")}));
    QCOMPARE(fixture.ui.messages[1].text, QStringLiteral("Valid range is -150 ... 0"));

    // While the box is open a client writes a new energy, or the mark is withdrawn (an interlock
    // trip): what stands when it closes goes out, or nothing.
    fixture.settle();
    energy->setText(QStringLiteral("1500"));
    energy->mark();
    fixture.ui.onMessage = [energy](const RecordingUserInterface::Message &) { energy->setText(QStringLiteral("500")); };
    fixture.cycle();
    QCOMPARE(fixture.wire(), QStringList{QStringLiteral("VEN500")});
    fixture.settle();
    energy->setText(QStringLiteral("1500"));
    energy->mark();
    fixture.ui.onMessage = [&fixture](const RecordingUserInterface::Message &) {
        fixture.window->model().clearMark(PanelField::value(0));
    };
    fixture.cycle();
    QCOMPARE(fixture.ui.messages.size(), 1);
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
    fixture.ui.onMessage = nullptr;
}

QTEST_MAIN(PanelWindowEntryTest)
#include "PanelWindowEntryTest.moc"
