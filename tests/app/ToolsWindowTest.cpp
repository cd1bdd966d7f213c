// The history and the journal in the real window: the virtual supply on a pseudo-terminal,
// a client on the real control link, the journal in a private state folder.

#include "LinkTestClient.h"
#include "WindowFixture.h"

#include "core/RuntimeDirectory.h"
#include "core/SettingsStore.h"
#include "history/MonitorHistoryWindow.h"
#include "journal/JournalFiles.h"
#include "ramp/RampPlan.h"

#include <qcustomplot.h>

#include <QAction>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr int kWaitMs = 10000;

struct Sent
{
    QString command;
    QString source;
    bool operator==(const Sent &other) const { return command == other.command && source == other.source; }
};

QList<QJsonObject> journalEntries(const QString &folder)
{
    QFile file(folder + QLatin1Char('/') + JournalFiles::fileNameFor(QDateTime::currentMSecsSinceEpoch()));
    QList<QJsonObject> entries;
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.isEmpty())
            entries.append(QJsonDocument::fromJson(line).object());
    return entries;
}

} // namespace

class ToolsWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void journalTellsWhoSentWhatInOrder();
    void historyWindowPlotsAndSaves();
};

void ToolsWindowTest::journalTellsWhoSentWhatInOrder()
{
    WindowFixture fixture;
    const QString state = fixture.environment.statePath();
    SettingsStore::writeText(QStringLiteral("Journal"), QStringLiteral("Enabled"), QStringLiteral("1"));
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    QVERIFY(window.tools().journal().isEnabled());
    QVERIFY(window.findChild<QAction *>(QStringLiteral("mnuJournal"))->isChecked());
    window.state().setAutoRefresh(false); // only what each source sends

    // The operator, then a client, then a profile, a ramp, the read-back's echo, the shut-down.
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("Command_On(1)")), Qt::LeftButton);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    LinkTestClient client;
    QVERIFY(client.open(RuntimeDirectory::filePath(QStringLiteral("Control"))));
    QCOMPARE(client.command(QStringLiteral("EXECUTE ENERGY=77")), QStringLiteral("OK"));
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(client.command(QStringLiteral("POKE DA_set_voltage 0.8")), QStringLiteral("OK"));

    const QString profile = state + QStringLiteral("/run.zqv");
    QCOMPARE(window.profiles().save(profile), 0);
    QCOMPARE(window.profiles().open(profile), 0);
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));

    RampPlan plan;
    plan.from = 10.0;
    plan.to = 11.0;
    QSignalSpy finished(&window.ramp(), &EnergyRamp::finished);
    QCOMPARE(window.ramp().start(plan), QString());
    QVERIFY(finished.wait(kWaitMs));

    window.model().setControlVoltage(QStringLiteral("0"), false);
    window.refreshAll(); // reads 11 eV back and echoes it
    QVERIFY(waitForLine(window.line()));
    window.showAbout();

    // The history answers on the link: one SAMPLE line per sample, then the count.
    const int samples = window.tools().history().size();
    QVERIFY(samples >= 3); // connecting, the ramp's first step (a second within the second is not kept), Refresh All
    const QString first = client.command(QStringLiteral("HISTORY 3600"));
    QVERIFY2(first.startsWith(QStringLiteral("SAMPLE ")), qPrintable(first));
    QCOMPARE(first.split(QLatin1Char(' ')).size(), 7);
    for (int i = 1; i < samples; ++i)
        QVERIFY(client.nextLine().value_or(QString()).startsWith(QStringLiteral("SAMPLE ")));
    QCOMPARE(client.nextLine(), QStringLiteral("OK %1").arg(samples));
    QVERIFY(client.command(QStringLiteral("HISTORY -1")).startsWith(QStringLiteral("ERROR 12 ")));
    QCOMPARE(client.command(QStringLiteral("HISTORY 0")), QStringLiteral("OK 0"));
    client.close();
    QVERIFY(QTest::qWaitFor([&] { return window.controlLink().exitEnabled(); }, kWaitMs));

    window.shutDown().setDialogRunner([] {
        ShutDownSequence::DialogResult result;
        result.choices.filament = true;
        result.choices.energy = true;
        return result;
    });
    QVERIFY(closeAndWait(window));
    const QString caption = window.state().caption();
    fixture.window.reset(); // the journal is written out as the program ends

    const QList<QJsonObject> entries = journalEntries(state + QStringLiteral("/tavrel"));
    QVERIFY(!entries.isEmpty());
    QCOMPARE(entries.first().value(QStringLiteral("event")).toString(), QStringLiteral("connected"));
    QList<Sent> sent;
    QStringList events;
    QString lastTime;
    for (const QJsonObject &entry : entries) {
        const QString time = entry.value(QStringLiteral("t")).toString();
        QVERIFY2(time >= lastTime, qPrintable(time)); // in the order things happened
        lastTime = time;
        if (entry.contains(QStringLiteral("sent")))
            sent.append({entry.value(QStringLiteral("sent")).toString(), entry.value(QStringLiteral("source")).toString()});
        if (entry.contains(QStringLiteral("event")))
            events.append(entry.value(QStringLiteral("event")).toString());
        if (entry.contains(QStringLiteral("message")))
            events.append(QStringLiteral("message ") + entry.value(QStringLiteral("message"))[QStringLiteral("title")].toString());
        if (entry.contains(QStringLiteral("read"))) {
            const QJsonObject read = entry.value(QStringLiteral("read")).toObject();
            QCOMPARE(read.keys().size(), kModuleCount);
            QCOMPARE(read.value(QStringLiteral("EN")).toArray().size(), 6);
        }
    }
    QCOMPARE(events, (QStringList{QStringLiteral("connected"), QStringLiteral("profile saved"),
                                  QStringLiteral("profile loaded"), QStringLiteral("ramp started"),
                                  QStringLiteral("ramp ended"), QStringLiteral("message ") + caption}));

    const qsizetype start = sent.indexOf(Sent{QStringLiteral("SCAON"), QStringLiteral("panel")});
    QVERIFY(start >= 0);
    QList<Sent> expected = {{QStringLiteral("SCAON"), QStringLiteral("panel")},
                            {QStringLiteral("VEN77"), QStringLiteral("control")},
                            {QStringLiteral("VEN80"), QStringLiteral("control")}};
    const QList<Sent> rest = sent.mid(start);
    QCOMPARE(rest.mid(0, 3), expected);
    // Everything the profile sent is the profile's, then the ramp, the echo and the shut-down.
    qsizetype k = 3;
    while (k < rest.size() && rest[k].source == QLatin1String("profile"))
        ++k;
    QVERIFY2(k - 3 >= 6, qPrintable(QString::number(k)));
    expected = {{QStringLiteral("VEN10"), QStringLiteral("ramp")},
                {QStringLiteral("VEN11"), QStringLiteral("ramp")},
                {QStringLiteral("VEN11"), QStringLiteral("readback")},
                {QStringLiteral("SCAOFF"), QStringLiteral("shutdown")},
                {QStringLiteral("VEN0"), QStringLiteral("shutdown")}};
    QCOMPARE(rest.mid(k), expected);
}

void ToolsWindowTest::historyWindowPlotsAndSaves()
{
    QTemporaryDir folder;
    WindowFixture fixture;
    QVERIFY(fixture.startQuiet());
    MainWindow &window = *fixture.window;
    QVERIFY(!window.tools().journal().isEnabled()); // off unless the operator turns it on

    window.findChild<QAction *>(QStringLiteral("mnuHistory"))->trigger();
    MonitorHistoryWindow &history = window.tools().historyWindow();
    QVERIFY(history.isVisible());
    QCOMPARE(history.windowTitle(), QStringLiteral("Monitor History"));
    QVERIFY(history.shownToMsecs() - history.shownFromMsecs() == 600 * 1000);
    history.setSpanIndex(0); // a minute: a read-back half a second later moves it by pixels
    const int redraws = history.redrawCount();
    window.refreshAll();
    QVERIFY(waitForLine(window.line()));
    QTest::qWait(500); // pacing: samples apart in time; the checks hold however far
    window.refreshAll();
    QVERIFY(waitForLine(window.line()));
    QVERIFY(QTest::qWaitFor([&] { return history.redrawCount() > redraws; }, kWaitMs));
    QTest::qWait(2 * MonitorHistoryWindow::kRedrawDelayMs); // a redraw still due would have come
    QVERIFY(history.redrawCount() <= redraws + 2); // once a read-back at most
    QCOMPARE(history.plot().graph(0)->dataCount(), window.tools().history().size());
    QVERIFY(history.isLive());
    QCOMPARE(history.shownToMsecs() - history.shownFromMsecs(), 60 * 1000);

    // A zoom by the operator stops the scrolling; a closed window does no work.
    QTest::mousePress(&history.plot(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseRelease(&history.plot(), Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(!history.isLive());
    history.setLive(true);
    history.close();
    const int closedRedraws = history.redrawCount();
    const int samples = window.tools().history().size();
    window.refreshAll();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(window.tools().history().size(), samples + 1); // there is something to draw
    QTest::qWait(2 * MonitorHistoryWindow::kRedrawDelayMs); // a redraw still due would have come
    QCOMPARE(history.redrawCount(), closedRedraws);

    history.show();
    QCOMPARE(history.plot().graph(0)->dataCount(), window.tools().history().size());
    const QString csv = folder.path() + QStringLiteral("/h.csv");
    const QString png = folder.path() + QStringLiteral("/h.png");
    fixture.ui.saveAnswers = {csv, png};
    history.onSaveCsv();
    history.onSavePng();
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 1 + window.tools().history().size());
    QVERIFY(lines.first().startsWith("time,energy_monitor_V,"));
    QFile pngFile(png);
    QVERIFY(pngFile.open(QIODevice::ReadOnly));
    QCOMPARE(pngFile.read(4), QByteArray("\x89PNG"));
    QVERIFY(fixture.ui.messages.isEmpty());

    // Ramp steps come many a second: the ring keeps one a second of them, so hours of ramps
    // never push the rest of the day out.
    const int beforeRamp = window.tools().history().size();
    RampPlan plan;
    plan.from = 10.0;
    plan.to = 40.0;
    QSignalSpy finished(&window.ramp(), &EnergyRamp::finished);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(window.ramp().start(plan), QString());
    QVERIFY(finished.wait(kWaitMs));
    const int added = window.tools().history().size() - beforeRamp;
    QVERIFY(added >= 1);
    QVERIFY2(added <= 1 + clock.elapsed() / 1000, qPrintable(QString::number(added)));
}

QTEST_MAIN(ToolsWindowTest)
#include "ToolsWindowTest.moc"
