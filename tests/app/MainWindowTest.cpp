#include "WindowFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpReadsEveryModuleThenRunsOneCycle()
    {
        WindowFixture fixture;
        fixture.supply.updateModel([](SupplyModel &model) { model.setEnergy(150.0f); });
        QVERIFY(fixture.start());
        const QStringList pass = readPass();
        // Init's full read, the energy the read-back wrote into DA_set_voltage, then the forced
        // cycle: no marks, so only the read-back of the monitors.
        QStringList expected = pass;
        expected << QStringLiteral("VEN150") << pass;
        QCOMPARE(fixture.commands(expected.size()), expected);
        QCOMPARE(fixture.window->fieldText(PanelField::value(0)), QStringLiteral("150"));
        QCOMPARE(fixture.window->findChild<QLineEdit *>(QStringLiteral("DA_set_voltage"))->text(),
                 QStringLiteral("1.5"));
        QCOMPARE(fixture.window->windowTitle(), QStringLiteral("Tavrel Power Supply [R4150-D]"));
        QCOMPARE(fixture.window->findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(),
                 QStringLiteral("COM1:"));
        QVERIFY(fixture.ui.messages.isEmpty());
        QCOMPARE(fixture.setupDialogsShown, 0);
    }

    void withoutPortThePanelStaysDisabledAndSetupOpens()
    {
        WindowFixture fixture;
        QVERIFY(!fixture.start(QString()));
        QCOMPARE(fixture.setupDialogsShown, 1);
        QVERIFY(!fixture.window->fieldEnabled(PanelField::value(0)));
        QVERIFY(!fixture.window->state().autoRefresh());
        QCOMPARE(fixture.window->findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(),
                 QStringLiteral("COM?:"));
        QTest::qWait(200);
        QVERIFY(fixture.supply.receivedCommands().isEmpty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
