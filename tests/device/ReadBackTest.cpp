#include "WindowFixture.h"

#include "panel/IndicatorLamp.h"
#include "panel/OnOffLamp.h"
#include "panel/ScreenBar.h"
#include "panel/SpinControl.h"
#include "panel/SpinImages.h"

#include <QAction>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include <cmath>

namespace {

bool startQuiet(WindowFixture &fixture, const QString &commandLine = QStringLiteral("/COM1"))
{
    if (!fixture.startQuiet(commandLine))
        return false;
    fixture.ui.clear();
    return true;
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject
{
    explicit PaintCounter(QWidget &widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
    int count = 0;
};

QList<int> boxLefts(const QList<QRect> &boxes)
{
    QList<int> lefts;
    for (const QRect &box : boxes)
        lefts << box.x();
    return lefts;
}

const ScreenBar &screenBar(const MainWindow &window)
{
    return *window.findChild<ScreenBar *>(QStringLiteral("Picture_Screen"));
}

QString labelText(const MainWindow &window, const QString &name)
{
    const auto *label = window.findChild<QLabel *>(name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

bool lampLit(const MainWindow &window, int module)
{
    return window.findChild<OnOffLamp *>(QStringLiteral("Label_OnOff(%1)").arg(module))->isLit();
}

// Enabled and showing the rest image, or disabled with the disabled image; anything else is
// reported as a mismatch.
QString spinState(const MainWindow &window, int module)
{
    const auto *spin = window.findChild<SpinControl *>(QStringLiteral("Picture_value(%1)").arg(module));
    const QImage image = spin->pixmap().toImage();
    if (spin->isEnabled() && image == SpinImages::image(SpinImages::Kind::Rest))
        return QStringLiteral("enabled");
    if (!spin->isEnabled() && image == SpinImages::image(SpinImages::Kind::Disabled))
        return QStringLiteral("disabled");
    return QStringLiteral("mismatch");
}

// Everything the read-back may write, to compare whole panels.
QStringList panelSnapshot(const MainWindow &window)
{
    QStringList items;
    for (const PanelField &field : kPanelFields)
        items << field.controlName() + QLatin1Char('=') + window.model().fieldText(field);
    items << QStringLiteral("DA=") + window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text();
    for (const QLabel *label : window.findChildren<QLabel *>())
        if (label->objectName().startsWith(QLatin1String("Label_UMon"))
            || label->objectName().startsWith(QLatin1String("Label_IMon(")) || label->objectName() == QLatin1String("Picture1"))
            items << label->objectName() + QLatin1Char('=') + label->text();
    for (int module : {1, 2})
        items << QStringLiteral("lamp%1=%2").arg(module).arg(lampLit(window, module)) + spinState(window, module);
    for (const QRect &box : screenBar(window).boxes())
        items << QStringLiteral("box %1").arg(box.x());
    return items;
}

QString zoned(const QStringList &items)
{
    QString line;
    for (int i = 0; i < items.size(); ++i) {
        if (i > 0)
            line = line.leftJustified((line.size() / ReadBack::kPrintZoneColumns + 1) * ReadBack::kPrintZoneColumns);
        line += items[i];
    }
    return line;
}

} // namespace

class ReadBackTest : public QObject
{
    Q_OBJECT

private slots:
    void screenBarBoxesAndMonitorLayouts()
    {
        TestEnvironment environment;
        QCOMPARE(boxLefts(ReadBack::screenBoxes(5500.0f, true)), (QList<int>{1, 7, 13, 19, 25}));
        for (const QRect &box : ReadBack::screenBoxes(5500.0f, true))
            QCOMPARE(box, QRect(QPoint(box.x(), 1), QPoint(box.x() + 3, 13)));
        QCOMPARE(boxLefts(ReadBack::screenBoxes(5500.0f, false)), QList<int>{25});
        QCOMPARE(boxLefts(ReadBack::screenBoxes(500.0f, true)), QList<int>());
        QCOMPARE(boxLefts(ReadBack::screenBoxes(500.0f, false)), QList<int>{-5});
        // Rounded halves to even before the kilovolts are counted.
        QCOMPARE(ReadBack::screenBoxes(999.5f, true).size(), 1);
        QCOMPARE(ReadBack::screenBoxes(998.5f, true).size(), 0);
        // A reply with an absurd number draws a bounded bar.
        QVERIFY(ReadBack::screenBoxes(1e30f, true).size() <= ReadBack::kMaxScreenBars);
        QVERIFY(ReadBack::screenBoxes(std::nanf(""), true).isEmpty());

        QCOMPARE(ReadBack::monitorText(-0.0000025 * -1000000.0, 1), QStringLiteral("2.5 "));
        QCOMPARE(ReadBack::monitorText(0.00123 * 1000.0, 2), QStringLiteral("1.23 "));
        QCOMPARE(ReadBack::monitorText(50.0, 0), QStringLiteral("50 "));
        QCOMPARE(ReadBack::monitorText(-3.14159, 2), QStringLiteral("-3.14 "));
        QCOMPARE(ReadBack::monitorText(-0.04, 1), QStringLiteral("0.0 "));
        QCOMPARE(ReadBack::monitorText(0.4, 0), QStringLiteral("0 "));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(ReadBack::monitorText(2.5, 1), QStringLiteral("2,5 "));
        QLocale::setDefault(QLocale::c());
    }

    void anEnergyBeyondSinglePrecisionIsNotTakenAsASetting()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(150.0f); });
        window.refreshAll();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("150"));
        fixture.supply.updateModel(
            [](InstrumentModel &model) { model.setDataLineOverride(0, QStringLiteral("EN 0 0 1E39 1E39 0")); });
        fixture.supply.clearLog();
        window.refreshAll();
        QVERIFY(waitForLine(window.line()));
        // The field keeps the last real energy, and the control voltage is not rewritten, so
        // no VEN (which would carry 0) goes out.
        QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("150"));
        QCOMPARE(fixture.commands(8), readPass());

        // A garbled or impossible energy reading is shown, but never sent back to the supply;
        // a well-formed one within the limits still is (the echo a sane supply gets today).
        struct Case { const char *line; const char *shown; bool echoed; };
        const Case cases[] = {
            {"EN 0 0 1#0 150 0", "1", false},
            {"EN 0 0 1500 1500 0", "1500", false},
            {"EN 0 0 \x01\x7f 150 0", "0", false},
            {"EN 0 0 -5 150 0", "-5", false},
            {"EN 0 0 120.5 120.5 0", "120.5", true},
            {"EN 0 0 1.5E2 150 0", "150", true},
        };
        for (const Case &c : cases) {
            const QString line = QString::fromLatin1(c.line);
            fixture.supply.updateModel([line](InstrumentModel &model) { model.setDataLineOverride(0, line); });
            fixture.supply.clearLog();
            window.refreshAll();
            QVERIFY(waitForLine(window.line()));
            QCOMPARE(window.model().fieldText(PanelField::value(0)), QString::fromLatin1(c.shown));
            QStringList expected = readPass();
            if (c.echoed)
                expected << QStringLiteral("VEN") + QString::fromLatin1(c.shown);
            QCOMPARE(fixture.commandsBeforeProbe(), expected);
        }
    }

    void screenAndCathodeDisplaysFollowTheSwitchState()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        // The supply comes up with cathode and screen off: their spin controls are disabled.
        QCOMPARE(spinState(window, 0), QStringLiteral("enabled"));
        QCOMPARE(spinState(window, 1), QStringLiteral("disabled"));
        QCOMPARE(spinState(window, 2), QStringLiteral("disabled"));

        auto screen = [&](float volts, bool on) {
            fixture.supply.updateModel([&](InstrumentModel &model) {
                model.setSetValue(2, volts);
                model.setOn(2, on);
            });
            window.refreshAll();
            QVERIFY(waitForLine(window.line()));
        };
        screen(5500.0f, true);
        QCOMPARE(boxLefts(screenBar(window).boxes()), (QList<int>{1, 7, 13, 19, 25}));
        QCOMPARE(screenBar(window).boxes().first().size(), QSize(3, 12));
        QCOMPARE(window.model().fieldText(PanelField::value(2)), QStringLiteral("5.5"));
        QVERIFY(lampLit(window, 2));
        QCOMPARE(spinState(window, 2), QStringLiteral("enabled"));

        screen(5500.0f, false);
        QCOMPARE(boxLefts(screenBar(window).boxes()), QList<int>{25});
        QCOMPARE(window.model().fieldText(PanelField::value(2)), QString());
        QVERIFY(!lampLit(window, 2));
        QCOMPARE(spinState(window, 2), QStringLiteral("disabled"));

        screen(500.0f, true);
        QCOMPARE(boxLefts(screenBar(window).boxes()), QList<int>());
        screen(500.0f, false);
        QCOMPARE(boxLefts(screenBar(window).boxes()), QList<int>{-5});

        // A read-back that changes nothing on the bar does not repaint it.
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        PaintCounter paints(const_cast<ScreenBar &>(screenBar(window)));
        screen(500.0f, false);
        screen(500.0f, false);
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, 0);
        screen(5500.0f, true);
        QTRY_VERIFY(paints.count > 0);

        fixture.supply.updateModel([](InstrumentModel &model) {
            model.setOn(1, true);
            model.setSetValue(1, 2.3f);
        });
        window.refreshAll();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(window.model().fieldText(PanelField::value(1)), QStringLiteral("2.3"));
        QCOMPARE(labelText(window, QStringLiteral("Label_IMon(1)")), QStringLiteral("2.30 "));
        QVERIFY(lampLit(window, 1));
        QCOMPARE(spinState(window, 1), QStringLiteral("enabled"));
        fixture.supply.updateModel([](InstrumentModel &model) { model.setOn(1, false); });
        window.refreshAll();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(window.model().fieldText(PanelField::value(1)), QString());
        QCOMPARE(labelText(window, QStringLiteral("Label_IMon(1)")), QStringLiteral("0.00 "));
        QCOMPARE(spinState(window, 1), QStringLiteral("disabled"));
        QVERIFY(fixture.ui.messages.isEmpty());
    }

    void monitorsShowCurrentsInTheirUnits()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        fixture.supply.updateModel([](InstrumentModel &model) {
            model.setDataLineOverride(0, QStringLiteral("EN 0 0 150 149.8 -2.5E-06"));
            model.setDataLineOverride(3, QStringLiteral("WE 0 0 50 -50 0"));
            model.setDataLineOverride(4, QStringLiteral("AN 0 0 0 12 0.00123"));
        });
        window.state().setAutoRefresh(true);
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(labelText(window, QStringLiteral("Label_IMon(0)")), QStringLiteral("2.5 "));
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(0)")), QStringLiteral("149.8 "));
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(3)")), QStringLiteral("50 "));
        QCOMPARE(labelText(window, QStringLiteral("Label_IMon(4)")), QStringLiteral("1.23 "));
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(4)")), QStringLiteral("12 "));
    }

    void fieldsTakeTheLocaleSeparatorExceptTheCurrent()
    {
        WindowFixture fixture;
        fixture.supply.updateModel([](InstrumentModel &model) {
            model.setEnergy(150.5f);
            model.setOn(1, true);
            model.setSetValue(1, 2.35f);
            model.setOn(2, true);
            model.setSetValue(2, 5500.0f);
            model.setGain(3, 1.5f);
        });
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        window.refreshAll();
        QVERIFY(waitForLine(window.line()));
        const QString energy = window.model().fieldText(PanelField::value(0));
        const QString current = window.model().fieldText(PanelField::value(1));
        const QString screen = window.model().fieldText(PanelField::value(2));
        const QString gain = window.model().fieldText(PanelField::gain(3));
        const QString control = window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text();
        const QString beam = labelText(window, QStringLiteral("Label_UMon(0)"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(energy, QStringLiteral("150,5"));
        QCOMPARE(current, QStringLiteral("2.35"));
        QCOMPARE(screen, QStringLiteral("5,5"));
        QCOMPARE(gain, QStringLiteral("1,5"));
        QCOMPARE(control, QStringLiteral("1.505"));
        QCOMPARE(beam, QStringLiteral("150,5 "));

        // The current of a cathode that is switched off is a fixed text, with its point.
        fixture.supply.updateModel([](InstrumentModel &model) { model.setOn(1, false); });
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        window.refreshAll();
        QVERIFY(waitForLine(window.line()));
        const QString offCurrent = labelText(window, QStringLiteral("Label_IMon(1)"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(offCurrent, QStringLiteral("0.00 "));
    }

    void periodicReadLeavesTheFieldsAlone()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        const QString controlVoltage = window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text();
        for (const PanelField &field : kPanelFields)
            window.model().setFieldText(field, QStringLiteral("7"));
        fixture.supply.updateModel([](InstrumentModel &model) {
            model.setEnergy(150.0f);
            model.setGain(3, 80.0f);
            model.setOffset(3, -10.0f);
            model.setOn(1, true);
            model.setSetValue(1, 2.3f);
            model.setOn(2, true);
            model.setSetValue(2, 3000.0f);
        });
        window.state().setAutoRefresh(true);
        window.refreshCycle().runCycle();
        QVERIFY(waitForLine(window.line()));
        QCOMPARE(fixture.commands(8), readPass()); // DA_set_voltage unchanged: no energy sent

        for (const PanelField &field : kPanelFields)
            QCOMPARE(window.model().fieldText(field), QStringLiteral("7"));
        QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text(), controlVoltage);
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(0)")), QStringLiteral("150.0 "));
        QCOMPARE(labelText(window, QStringLiteral("Label_UMon(3)")), QStringLiteral("-110 ")); // -(80 % of 150 - 10)
        QVERIFY(lampLit(window, 1));
        QVERIFY(lampLit(window, 2));
        QCOMPARE(spinState(window, 1), QStringLiteral("enabled"));
        QCOMPARE(screenBar(window).boxes().size(), 3);
    }

    void timeOutPartWayLeavesThePanelAsItWas()
    {
        WindowFixture fixture;
        QVERIFY(startQuiet(fixture));
        MainWindow &window = *fixture.window;
        const QStringList before = panelSnapshot(window);
        fixture.supply.updateModel([](InstrumentModel &model) {
            model.setEnergy(150.0f);
            model.setOn(2, true);
            model.setSetValue(2, 5500.0f);
            model.setGain(3, 80.0f);
            model.setGain(4, 60.0f);
        });
        // Two lines a module (echo, data): the supply falls silent after the echo of the fifth.
        SupplyFaults faults;
        faults.silentAfter = 4 * 2 + 1;
        fixture.supply.setFaults(faults);
        window.state().setAutoRefresh(true);

        QCOMPARE(finished(window.readBack().readAll(true)), -1);
        QCOMPARE(panelSnapshot(window), before);
        const auto &readings = window.readBack().readings();
        QCOMPARE(readings[0].value, 150.0f);
        QCOMPARE(readings[2].Offset, 5500.0f);
        QCOMPARE(readings[2].OnOff, 1);
        QCOMPARE(readings[3].Gain, 80.0f);
        QCOMPARE(readings[4].Gain, 0.0f);
        // The time-out shows on the lamp and stops the periodic read.
        QCOMPARE(window.findChild<IndicatorLamp *>(QStringLiteral("Picture_Busy"))->color(), QColor(255, 128, 0));
        QVERIFY(!window.state().autoRefresh());
        QVERIFY(!window.findChild<QAction *>(QStringLiteral("mnuAutoRefresh"))->isChecked());
        QVERIFY(fixture.ui.messages.isEmpty());
    }

    void serviceModeShowsEveryRawReading()
    {
        {
            WindowFixture fixture;
            fixture.supply.updateModel([](InstrumentModel &model) {
                model.setEnergy(150.0f);
                model.setGain(3, -20.0f);
            });
            QVERIFY(startQuiet(fixture, QStringLiteral("/COM1 /SERVICE")));
            const auto *table = fixture.window->findChild<QLabel *>(QStringLiteral("Picture1"));
            QVERIFY(table->isVisibleTo(fixture.window.get()));
            const QStringList lines = table->text().split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 9);
            QCOMPARE(lines[0], zoned({QStringLiteral("Module Gain"), QStringLiteral("Offset"), QStringLiteral("Value"),
                                      QStringLiteral("Umon"), QStringLiteral("Imon"), QStringLiteral("Switch")}));
            QCOMPARE(lines[1], zoned({QStringLiteral("EN   0 "), QStringLiteral(" 0 "), QStringLiteral(" 150 "),
                                      QStringLiteral(" 150 "), QStringLiteral(" 0 "), QStringLiteral(" 1 ")}));
            // Switched off: the numbers are those of the last reply that carried any (none yet).
            QCOMPARE(lines[2], zoned({QStringLiteral("CA   0 "), QStringLiteral(" 0 "), QStringLiteral(" 0 "),
                                      QStringLiteral(" 0 "), QStringLiteral(" 0 "), QStringLiteral(" 0 ")}));
            // Negative numbers carry their sign in place of the leading blank.
            QCOMPARE(lines[4], zoned({QStringLiteral("WE  -20 "), QStringLiteral(" 0 "), QStringLiteral("-30 "),
                                      QStringLiteral("-30 "), QStringLiteral(" 0 "), QStringLiteral(" 1 ")}));
            QVERIFY(lines[8].startsWith(QLatin1String("L2  ")));

            // The heading and all eight rows are seen in full, inside the window.
            const QFontMetrics metrics(table->font());
            QVERIFY(table->contentsRect().height() >= lines.size() * metrics.lineSpacing());
            for (const QString &line : lines)
                QVERIFY2(table->contentsRect().width() >= metrics.horizontalAdvance(line), qPrintable(line));
            const QRect inWindow(table->mapTo(fixture.window.get(), QPoint(0, 0)), table->size());
            QVERIFY(fixture.window->rect().contains(inWindow));
        }

        // Placed with its service height: a stored Top beyond the screen puts the bottom of the
        // window, service panel included, on the screen's bottom edge; with no stored Top the
        // tall window is centred.
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        for (const bool storedTop : {true, false}) {
            WindowFixture fixture;
            if (storedTop) {
                QSettings(fixture.environment.settingsFile(), QSettings::IniFormat)
                    .setValue(QStringLiteral("Top"), QStringLiteral("1000000"));
            }
            QVERIFY(startQuiet(fixture, QStringLiteral("/COM1 /SERVICE")));
            const QRect frame = fixture.window->frameGeometry();
            const int slack = storedTop ? std::abs(available.bottom() - frame.bottom())
                                        : std::abs((available.top() - frame.top()) - (frame.bottom() - available.bottom()));
            // The frame's width is not known before the window is shown (the window manager's).
            const int frameAllowance = frame.height() - fixture.window->geometry().height() + 2;
            QVERIFY2(slack <= frameAllowance, qPrintable(QStringLiteral("frame %1,%2 %3x%4 on %5x%6")
                                                 .arg(frame.x()).arg(frame.y()).arg(frame.width())
                                                 .arg(frame.height()).arg(available.width()).arg(available.height())));
        }

        WindowFixture normal;
        QVERIFY(startQuiet(normal));
        const auto *hidden = normal.window->findChild<QLabel *>(QStringLiteral("Picture1"));
        QVERIFY(!hidden->isVisibleTo(normal.window.get()));
        QCOMPARE(hidden->text(), QString());
    }
};

QTEST_MAIN(ReadBackTest)
#include "ReadBackTest.moc"
