// Profiles end to end: the real window loads and saves real files, the commands reach the
// virtual supply on a pseudo-terminal in the refresh cycle's order.

#include "ProfileBytes.h"
#include "WindowFixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A profile whose every number lies inside its limits and survives text and back exactly.
const QList<float> kProfileValues = {150.0f, 2.1f, 6.5f,  -20.0f, -5.0f, 30.0f, 10.0f,
                                     40.0f,  2.0f, 50.0f, 60.0f,  3.0f,  0.0f};

// What the refresh cycle sends for that profile: set values with the switch requests, then
// each module's gain before its offset; module 6 has no offset.
const QStringList kProfileCommands = {
    QStringLiteral("VEN150"), QStringLiteral("SCAON"),  QStringLiteral("VCA2.1"), QStringLiteral("SSCON"),
    QStringLiteral("VSC6500"), QStringLiteral("GWE-20"), QStringLiteral("OWE-5"), QStringLiteral("GAN30"),
    QStringLiteral("OAN10"),   QStringLiteral("GL140"),  QStringLiteral("OL12"),  QStringLiteral("GSU50"),
    QStringLiteral("GL260"),   QStringLiteral("OL23"),
};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QAction *action(MainWindow &window, const char *name)
{
    return window.findChild<QAction *>(QLatin1String(name));
}

QStringList panelTexts(const MainWindow &window)
{
    QStringList texts;
    for (const PanelField &field : kPanelFields)
        texts << window.model().fieldText(field);
    return texts;
}

} // namespace

class ProfileWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startUpProfileGoesOutInTheCycleOrder();
    void openMenuSendsEverythingAndReadsOnce();
    void saveAfterLoadAndRoundTrip();

private:
    QString m_startFolder;
};

void ProfileWindowTest::init()
{
    m_startFolder = QDir::currentPath();
}

void ProfileWindowTest::cleanup()
{
    QDir::setCurrent(m_startFolder);
}

void ProfileWindowTest::startUpProfileGoesOutInTheCycleOrder()
{
    const QByteArray profile = ProfileBytes::make("ZQV", kProfileValues);
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/zqvstart-XXXXXX"));
    QVERIFY(folder.isValid());
    QVERIFY(writeFile(folder.filePath(QStringLiteral("name.zqv")), profile));

    // A name without extension in the current folder, and a full path without a dot.
    QStringList commandLines = {QStringLiteral("/ZQV=name /COM1")};
    const QString fullName = folder.filePath(QStringLiteral("name"));
    if (!fullName.contains(QLatin1Char('.')))
        commandLines << QStringLiteral("/COM1 /ZQV=") + fullName;
    else
        qWarning("the temporary folder has a dot in its path; the full-path case is left out");

    for (const QString &commandLine : commandLines) {
        QDir::setCurrent(commandLine.startsWith(QLatin1String("/ZQV=name")) ? folder.path() : m_startFolder);
        WindowFixture fixture;
        fixture.supply.updateModel([](InstrumentModel &model) { model.setEnergy(100.0f); });
        QVERIFY(fixture.start(commandLine));
        // Init's full read, the control voltage it wrote, then the forced cycle with the profile.
        QStringList expected = readPass();
        expected << QStringLiteral("VEN100") << kProfileCommands << readPass();
        QCOMPARE(fixture.commands(expected.size()), expected);
        QVERIFY(fixture.ui.messages.isEmpty());
        QCOMPARE(QFileInfo(fixture.window->profiles().filename()).canonicalFilePath(),
                 QFileInfo(folder.filePath(QStringLiteral("name.zqv"))).canonicalFilePath());
        QCOMPARE(fixture.window->model().fieldText(PanelField::gain(3)), QStringLiteral("-20"));
        for (const PanelField &field : kPanelFields)
            QVERIFY(!fixture.window->model().isMarked(field));
    }
}

void ProfileWindowTest::openMenuSendsEverythingAndReadsOnce()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString good = folder.filePath(QStringLiteral("good.zqv"));
    const QString wrong = folder.filePath(QStringLiteral("wrong.zqv"));
    QVERIFY(writeFile(good, ProfileBytes::make("ZQV", kProfileValues)));
    QVERIFY(writeFile(wrong, ProfileBytes::make("ZQW", kProfileValues)));

    WindowFixture fixture;
    QVERIFY(fixture.start());
    MainWindow &window = *fixture.window;
    window.timer().stop();
    action(window, "mnuAutoRefresh")->trigger(); // the operator switches auto refresh off
    QVERIFY(!window.state().autoRefresh());
    fixture.supply.clearLog();

    fixture.ui.openAnswers << good;
    action(window, "mnuOpen")->trigger();
    QCOMPARE(fixture.ui.openRequests.size(), 1);
    QCOMPARE(fixture.ui.openRequests[0].title, QStringLiteral("Open Tavrel Power Supply [R4150-D] Profile"));
    QCOMPARE(fixture.ui.openRequests[0].presetName, QString());
    QCOMPARE(fixture.commands(kProfileCommands.size() + readPass().size()), kProfileCommands + readPass());
    QVERIFY(!window.state().autoRefresh());
    QVERIFY(!action(window, "mnuAutoRefresh")->isChecked());
    QCOMPARE(window.profiles().filename(), good);
    const QStringList loaded = panelTexts(window);
    QCOMPARE(loaded.first(), QStringLiteral("150"));

    // A later cycle reads nothing: auto refresh stayed off.
    fixture.supply.clearLog();
    window.refreshCycle().runCycle();
    QVERIFY(waitForLine(window.line()));
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList());

    // A wrong marker: the message, the panel and the path as they were, and still one cycle.
    fixture.ui.openAnswers << wrong;
    action(window, "mnuOpen")->trigger();
    QCOMPARE(fixture.ui.openRequests.size(), 2);
    QCOMPARE(fixture.ui.openRequests[1].presetName, good);
    QCOMPARE(fixture.ui.messages.size(), 1);
    QCOMPARE(fixture.ui.messages[0].text, QStringLiteral("Invalif file format"));
    QCOMPARE(fixture.ui.messages[0].title, QStringLiteral("Open Tavrel Power Supply [R4150-D] Profile"));
    QCOMPARE(fixture.ui.messages[0].icon, UserInterface::Icon::Critical);
    QCOMPARE(fixture.commands(readPass().size()), readPass());
    QCOMPARE(panelTexts(window), loaded);
    QCOMPARE(window.profiles().filename(), good);

    // Cancelled: nothing loaded, no cycle.
    fixture.supply.clearLog();
    action(window, "mnuOpen")->trigger();
    QCOMPARE(fixture.ui.openRequests.size(), 3);
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList());
}

void ProfileWindowTest::saveAfterLoadAndRoundTrip()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString original = folder.filePath(QStringLiteral("original.zqv"));
    const QString copy = folder.filePath(QStringLiteral("copy.zqv"));
    const QByteArray profile = ProfileBytes::make("ZQV", kProfileValues);
    QVERIFY(writeFile(original, profile));

    WindowFixture fixture;
    QVERIFY(fixture.start());
    MainWindow &window = *fixture.window;
    window.timer().stop();

    // Save before any profile asks for a name; cancelling writes nothing.
    action(window, "mnuSave")->trigger();
    QCOMPARE(fixture.ui.saveRequests.size(), 1);
    QVERIFY(fixture.ui.saveRequests[0].title.startsWith(QStringLiteral("Save ")));
    QVERIFY(QDir(folder.path()).entryList(QDir::Files) == QStringList{QStringLiteral("original.zqv")});

    fixture.ui.openAnswers << original;
    action(window, "mnuOpen")->trigger();
    QCOMPARE(window.profiles().filename(), original);

    // Saved by the window under a new name: the same 55 bytes.
    fixture.ui.saveAnswers << copy;
    action(window, "mnuSaveAs")->trigger();
    QCOMPARE(fixture.ui.saveRequests.size(), 2);
    QCOMPARE(fixture.ui.saveRequests[1].presetName, original);
    QCOMPARE(readFile(copy), profile);
    QCOMPARE(window.profiles().filename(), copy);

    // An edit, then Save: the current profile is written over without a dialog.
    window.model().setFieldText(PanelField::value(0), QStringLiteral("200"));
    window.model().setFieldText(PanelField::offset(7), QStringLiteral("1,5"));
    action(window, "mnuSave")->trigger();
    QCOMPARE(fixture.ui.saveRequests.size(), 2);
    const QByteArray saved = readFile(copy);
    QCOMPARE(saved.size(), 55);
    QCOMPARE(ProfileBytes::singleAt(saved, 3), 200.0f);
    QCOMPARE(ProfileBytes::singleAt(saved, 47), 1.5f);
    QCOMPARE(saved.mid(7, 40), profile.mid(7, 40));
    QCOMPARE(readFile(original), profile);

    // Loaded again and saved again: byte for byte what was loaded.
    fixture.ui.openAnswers << copy;
    action(window, "mnuOpen")->trigger();
    const QString again = folder.filePath(QStringLiteral("again.zqv"));
    fixture.ui.saveAnswers << again;
    action(window, "mnuSaveAs")->trigger();
    QCOMPARE(readFile(again), saved);
    QVERIFY(fixture.ui.messages.isEmpty());
}

QTEST_MAIN(ProfileWindowTest)
#include "ProfileWindowTest.moc"
