// The I(V) window on the simulated camera, and a measurement driven over the control link with
// the spots and dark frame the window set.
#include "LinkTestClient.h"
#include "WindowFixture.h"

#include "camera/SimulatedScreen.h"
#include "core/RuntimeDirectory.h"
#include "core/SettingsStore.h"
#include "iv/FrameView.h"
#include "iv/IvWindow.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

namespace {

constexpr int kWaitMs = 20000;

} // namespace

class IvWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void theWindowMarksSpotsAndTheLinkMeasuresWithThem()
    {
        WindowFixture fixture;
        SettingsStore::writeText(QStringLiteral("Journal"), QStringLiteral("Enabled"), QStringLiteral("1"));
        SettingsStore::writeText(QStringLiteral("Camera"), QStringLiteral("ExposureUs"), QStringLiteral("3000"));
        QVERIFY(fixture.startQuiet());
        MainWindow &window = *fixture.window;
        window.findChild<QAction *>(QStringLiteral("mnuIvMeasurement"))->trigger();
        IvWindow &iv = window.tools().ivWindow();
        QVERIFY(iv.isVisible());

        // The live image of the simulated screen (energy 0: dark) comes up by itself.
        QVERIFY(QTest::qWaitFor([&] { return !iv.view().image().isNull(); }, kWaitMs));
        QCOMPARE(window.tools().camera().settings().exposureUs, 3000.0);
        QTest::mouseClick(&iv.darkButton(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return window.tools().iv().hasDarkFrame(); }, kWaitMs));

        // Two spots marked where the screen shows them at 100 eV.
        const SimulatedScreen screen(window.tools().camera().info().width, window.tools().camera().info().height);
        const QList<SimulatedScreen::Spot> spots = screen.spots(100.0, 3000.0, 0.0);
        iv.markAt(screen.specular(), true);
        window.tools().iv().tracker().setSpots({}, 100.0);
        for (int i = 1; i <= 2; ++i)
            iv.markAt(spots[i].centre, false);
        window.tools().iv().tracker().setSpots(window.tools().iv().tracker().spots(), 100.0);
        QCOMPARE(window.tools().iv().spotLabels(), (QStringList{QStringLiteral("S1"), QStringLiteral("S2")}));
        QCOMPARE(iv.plot().graphCount(), 2);

        // A script starts it over the link; steps are reported as measured and the curves grow.
        QTemporaryDir home;
        LinkTestClient client;
        QVERIFY(client.open(RuntimeDirectory::filePath(QStringLiteral("Control"))));
        QCOMPARE(client.command(QStringLiteral("REQUEST IV")), QStringLiteral("DATA idle"));
        QVERIFY(client.command(QStringLiteral("IV START 100 104")).startsWith(QLatin1String("ERROR 2 ")));
        QSignalSpy journal(&window.tools().journal(), &Journal::lineRecorded);
        const QString folder = home.filePath(QStringLiteral("a run"));
        QCOMPARE(client.command(QStringLiteral("IV START 100 104 2 10 %1").arg(folder)), QStringLiteral("OK 3"));
        QVERIFY(!iv.startButton().isEnabled());
        for (int k = 1; k <= 3; ++k) {
            const QString line = client.nextLine().value_or(QStringLiteral("<none>"));
            QVERIFY2(line.startsWith(QStringLiteral("IVSTEP %1 %2.0 ").arg(k).arg(98 + 2 * k)), qPrintable(line));
            QVERIFY(line.endsWith(QStringLiteral(" frames/%1_%2.0eV.tif").arg(k, 4, 10, QLatin1Char('0')).arg(98 + 2 * k)));
        }
        QCOMPARE(client.nextLine().value_or(QStringLiteral("<none>")), QStringLiteral("END 3 complete"));
        QCOMPARE(iv.plot().graph(0)->dataCount(), 3);
        QCOMPARE(iv.plot().graph(1)->dataCount(), 3);
        QVERIFY2(iv.statusText().startsWith(QLatin1String("Done: 3 steps")), qPrintable(iv.statusText()));
        QVERIFY(iv.startButton().isEnabled());
        QVERIFY(QFile::exists(folder + QStringLiteral("/beams.csv")));
        QStringList recorded;
        for (const QList<QVariant> &arguments : journal)
            recorded.append(QString::fromUtf8(arguments.constFirst().toByteArray()));
        QVERIFY(recorded.filter(QStringLiteral("\"iv started\"")).constFirst().contains(QLatin1String("dark=1 spots=2")));
        QVERIFY(recorded.filter(QStringLiteral("\"iv ended\"")).constFirst().contains(QLatin1String("\"frames_lost\": 0")));

        // Another start into the same folder is refused with the reason; the window starts its own.
        QVERIFY(client.command(QStringLiteral("IV START 100 104 2 10 %1").arg(folder)).startsWith(QLatin1String("ERROR 10 ")));
        SettingsStore::writeText(IvWindow::kSection, QStringLiteral("Folder"), home.path());
        QCOMPARE(client.command(QStringLiteral("IV STOP")), QStringLiteral("OK"));
        client.close();

        // The control tool runs one and prints its steps; a relative folder lies in the base folder.
        QProcess tool;
        tool.start(QStringLiteral(TAVREL_CONTROL_PATH),
                   {QStringLiteral("--socket"), RuntimeDirectory::filePath(QStringLiteral("Control")), QStringLiteral("iv"),
                    QStringLiteral("120"), QStringLiteral("118"), QStringLiteral("2"), QStringLiteral("0"),
                    home.filePath(QStringLiteral("by tool"))});
        QVERIFY(QTest::qWaitFor([&] { return tool.state() == QProcess::NotRunning; }, kWaitMs));
        QCOMPARE(tool.exitCode(), 0);
        const QStringList printed = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(printed.size(), 3);
        QVERIFY(printed[2].startsWith(QLatin1String("2,118.0,")));
        QVERIFY(printed[2].endsWith(QLatin1String(",frames/0002_118.0eV.tif")));
        LinkTestClient again;
        QVERIFY(again.open(RuntimeDirectory::filePath(QStringLiteral("Control"))));
        QCOMPARE(again.command(QStringLiteral("IV START 100 100 1 0 relative")), QStringLiteral("OK 1"));
        QVERIFY(again.nextLine().value_or(QString()).startsWith(QLatin1String("IVSTEP 1 ")));
        QCOMPARE(again.nextLine().value_or(QString()), QStringLiteral("END 1 complete"));
        QVERIFY(QFile::exists(home.filePath(QStringLiteral("relative/measurement.csv"))));
        again.close();
        iv.close();
        QVERIFY(QTest::qWaitFor([&] { return !window.tools().camera().isStreaming(); }, kWaitMs));
    }
};

QTEST_MAIN(IvWindowTest)
#include "IvWindowTest.moc"
