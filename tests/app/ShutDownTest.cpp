// The close request and the shut-down dialog: real ShutDownDialog widgets shown modally and
// answered from inside their own modal loop, real settings in a temporary home, the commands
// on the virtual supply.
#include "DeviceRig.h"
#include "VirtualSupply.h"

#include "app/ShutDownDialog.h"
#include "core/ModuleTable.h"
#include "RecordingUserInterface.h"
#include "core/SettingsStore.h"
#include "app/ShutDownSequence.h"
#include "device/PortTable.h"
#include "remote/ControlLink.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// The shut-down's collaborators, real: the supply on a pseudo-terminal, the device layer, the
// connection and the control link. `sent` is what reached the supply since the last connect.
class RecordingHost
{
public:
    explicit RecordingHost(int model) : supply(options(model)), rig(state)
    {
        QVERIFY(supply.start());
        PortTable::setPath(1, supply.devicePath());
        state.setPowerSupply(qint16(model));
        state.table.fill(state.powerSupply());
        setConnected(true);
    }
    ~RecordingHost() { rig.line.close(); }

    void setConnected(bool connected)
    {
        state.commPort = connected ? 1 : 0;
        finished(rig.connection.connectSupply());
        QVERIFY(waitForLine(rig.line));
        supply.clearLog();
    }
    // A conversation open on the control link holds the exit.
    void openConversation() { controlLink.conversationOpened(); }
    QStringList sent() const { return supply.receivedCommands(); }
    void clearSent() { supply.clearLog(); }

    ShutDownSequence sequence(UserInterface &ui)
    {
        return ShutDownSequence(rig.line, state, controlLink, rig.connection, ui);
    }

private:
    static VirtualSupply::Options options(int model)
    {
        VirtualSupply::Options options;
        options.model = model;
        return options;
    }

    ControllerState state;
    VirtualSupply supply;
    DeviceRig rig;
    ControlLink controlLink{rig.model, state, rig.ui};
};

QCheckBox *box(QWidget *dialog, const char *name)
{
    return dialog->findChild<QCheckBox *>(QLatin1String(name));
}

// What the operator does once the dialog is up.
using Answer = std::function<void(ShutDownDialog &)>;

} // namespace

class ShutDownTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void storedBoxes();
    void notConnectedShowsNothing();
    void okSendsTheChosenCommands_data();
    void okSendsTheChosenCommands();
    void cancelKeepsRunningAndStoresBoxes();
    void frameCloseOfDialogCountsAsOk();
    void linkOpenRefusesOnlyTheFrameClose();
    void terminationAppliesStoredChoices();

private:
    // Runs the close request; `answer` plays the operator in the modal dialog.
    bool queryUnload(ShutDownSequence &sequence, int mode, const Answer &answer);
    void storeBoxes(const QString &filament, const QString &energy);

    QTemporaryDir m_home;
    int m_dialogsShown = 0;
};

void ShutDownTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
}

void ShutDownTest::init()
{
    m_dialogsShown = 0;
}

void ShutDownTest::storeBoxes(const QString &filament, const QString &energy)
{
    SettingsStore::writeText(ShutDownChoices::kSection, ShutDownChoices::kFilamentKey, filament);
    SettingsStore::writeText(ShutDownChoices::kSection, ShutDownChoices::kEnergyKey, energy);
}

bool ShutDownTest::queryUnload(ShutDownSequence &sequence, int mode, const Answer &answer)
{
    // Queued before the modal loop starts; it runs inside it, while the dialog is up.
    QTimer::singleShot(0, this, [this, answer] {
        auto *dialog = qobject_cast<ShutDownDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return; // no dialog: the request did not wait for one
        ++m_dialogsShown;
        answer(*dialog);
    });
    bool sent = false;
    const QMetaObject::Connection done =
        connect(&sequence, &ShutDownSequence::commandsSent, this, [&sent] { sent = true; });
    const ShutDownSequence::Decision decision = sequence.queryUnload(mode);
    if (decision == ShutDownSequence::Decision::UnloadWhenSent && !QTest::qWaitFor([&sent] { return sent; }))
        qFatal("the shut-down's commands did not end");
    disconnect(done);
    QCoreApplication::processEvents(); // lets an unused answer run, so it cannot leak into the next request
    return decision == ShutDownSequence::Decision::Cancel;
}

void ShutDownTest::storedBoxes()
{
    // Nothing stored yet: both boxes start unchecked.
    {
        ShutDownDialog dialog;
        QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("Command_OK"))->isDefault());
        QVERIFY(!box(&dialog, "Check_Energy")->isChecked());
        QVERIFY(!box(&dialog, "Check_Filament")->isChecked());
        QVERIFY(dialog.tag().isEmpty());
    }

    // Only a leading number that rounds to exactly 1 checks a box.
    const QList<std::pair<QString, bool>> cases = {
        {QStringLiteral("1"), true},    {QStringLiteral("2"), false},     {QStringLiteral("0"), false},
        {QStringLiteral("-1"), false},  {QStringLiteral("1.4"), true},    {QStringLiteral("0.6"), true},
        {QStringLiteral("1.5"), false}, {QStringLiteral(" 1 abc"), true}, {QStringLiteral("yes"), false},
        {QString(), false},
    };
    for (const auto &[text, checked] : cases) {
        storeBoxes(text, QStringLiteral("1"));
        ShutDownDialog dialog;
        QVERIFY2(box(&dialog, "Check_Filament")->isChecked() == checked, qPrintable(text));
        QVERIFY(box(&dialog, "Check_Energy")->isChecked());
    }

    // Closing writes both boxes back as decimal text, normalising what was there.
    storeBoxes(QStringLiteral("2"), QStringLiteral("1.0"));
    ShutDownDialog dialog;
    dialog.show();
    box(&dialog, "Check_Energy")->setChecked(false);
    dialog.findChild<QPushButton *>(QStringLiteral("Command_OK"))->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(SettingsStore::readText(ShutDownChoices::kSection, ShutDownChoices::kFilamentKey, {}), QStringLiteral("0"));
    QCOMPARE(SettingsStore::readText(ShutDownChoices::kSection, ShutDownChoices::kEnergyKey, {}), QStringLiteral("0"));
}

void ShutDownTest::notConnectedShowsNothing()
{
    storeBoxes(QStringLiteral("1"), QStringLiteral("1"));
    RecordingHost host(0);
    host.setConnected(false);
    RecordingUserInterface ui;
    ShutDownSequence sequence = host.sequence(ui);
    for (const int mode : {0, 1, 2}) {
        QVERIFY(!queryUnload(sequence, mode, [](ShutDownDialog &d) { d.reject(); }));
    }
    QCOMPARE(m_dialogsShown, 0);
    QVERIFY(host.sent().isEmpty());
    QVERIFY(ui.messages.isEmpty());
    QCOMPARE(ui.beeps, 0);
}

void ShutDownTest::okSendsTheChosenCommands_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("filament");
    QTest::addColumn<bool>("energy");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("none") << 0 << false << false << QStringList{};
    QTest::newRow("both R4150-D") << 0 << true << true << QStringList{QStringLiteral("SCAOFF"), QStringLiteral("VEN0")};
    QTest::newRow("both digital") << 1 << true << true << QStringList{QStringLiteral("SFIOFF"), QStringLiteral("VEN0")};
    QTest::newRow("filament only") << 1 << true << false << QStringList{QStringLiteral("SFIOFF")};
    QTest::newRow("energy only") << 0 << false << true << QStringList{QStringLiteral("VEN0")};
}

void ShutDownTest::okSendsTheChosenCommands()
{
    QFETCH(int, model);
    QFETCH(bool, filament);
    QFETCH(bool, energy);
    QFETCH(QStringList, sent);
    storeBoxes(QStringLiteral("0"), QStringLiteral("0"));
    RecordingHost host(model);
    RecordingUserInterface ui;
    ShutDownSequence sequence = host.sequence(ui);

    const bool cancel = queryUnload(sequence, ShutDownSequence::kUnloadFromProgram, [&](ShutDownDialog &d) {
        // Nothing may be sent while the operator is still choosing.
        QVERIFY(host.sent().isEmpty());
        box(&d, "Check_Filament")->setChecked(filament);
        box(&d, "Check_Energy")->setChecked(energy);
        QTest::keyClick(&d, Qt::Key_Return); // OK is the default button
    });
    QVERIFY(!cancel);
    QCOMPARE(m_dialogsShown, 1);
    QCOMPARE(host.sent(), sent);
    QCOMPARE(ShutDownChoices::stored().filament, filament);
    QCOMPARE(ShutDownChoices::stored().energy, energy);
}

void ShutDownTest::cancelKeepsRunningAndStoresBoxes()
{
    storeBoxes(QStringLiteral("0"), QStringLiteral("0"));
    RecordingHost host(0);
    RecordingUserInterface ui;
    ShutDownSequence sequence = host.sequence(ui);

    QVERIFY(queryUnload(sequence, ShutDownSequence::kUnloadFromFrame, [](ShutDownDialog &d) {
        box(&d, "Check_Filament")->setChecked(true);
        box(&d, "Check_Energy")->setChecked(true);
        d.findChild<QPushButton *>(QStringLiteral("Command_Cancel"))->click();
    }));
    QVERIFY(host.sent().isEmpty());
    QVERIFY(ShutDownChoices::stored().filament);
    QVERIFY(ShutDownChoices::stored().energy);

    // Next time the dialog is new: empty tag, the boxes as stored. Escape is Cancel too.
    QVERIFY(queryUnload(sequence, ShutDownSequence::kUnloadFromFrame, [](ShutDownDialog &d) {
        QVERIFY(d.tag().isEmpty());
        QVERIFY(box(&d, "Check_Filament")->isChecked());
        QVERIFY(box(&d, "Check_Energy")->isChecked());
        box(&d, "Check_Energy")->setChecked(false);
        QTest::keyClick(&d, Qt::Key_Escape);
    }));
    QCOMPARE(m_dialogsShown, 2);
    QVERIFY(host.sent().isEmpty());
    QVERIFY(ShutDownChoices::stored().filament);
    QVERIFY(!ShutDownChoices::stored().energy);

    // An operator in a hurry: Alt+V toggles the box at once, and Enter straight after it sees
    // the new state (Qt's animated access-key click would land 100 ms too late).
    bool toggledAtOnce = false;
    QVERIFY(!queryUnload(sequence, ShutDownSequence::kUnloadFromProgram, [&toggledAtOnce](ShutDownDialog &d) {
        d.activateWindow();
        (void)QTest::qWaitForWindowActive(&d); // a refusal shows in the check below
        const bool before = box(&d, "Check_Energy")->isChecked();
        QTest::keyClick(&d, Qt::Key_V, Qt::AltModifier);
        toggledAtOnce = !before && box(&d, "Check_Energy")->isChecked();
        QTest::keyClick(&d, Qt::Key_Return);
    }));
    QVERIFY(toggledAtOnce);
    QCOMPARE(host.sent(), (QStringList{QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
    QVERIFY(ShutDownChoices::stored().energy);
}

void ShutDownTest::frameCloseOfDialogCountsAsOk()
{
    storeBoxes(QStringLiteral("0"), QStringLiteral("1"));
    RecordingHost host(0);
    RecordingUserInterface ui;
    ShutDownSequence sequence = host.sequence(ui);

    QVERIFY(!queryUnload(sequence, ShutDownSequence::kUnloadFromFrame, [](ShutDownDialog &d) {
        box(&d, "Check_Filament")->setChecked(true);
        d.close(); // the dialog's own close box
    }));
    QCOMPARE(host.sent(), (QStringList{QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
    QVERIFY(ShutDownChoices::stored().filament);
    QVERIFY(ShutDownChoices::stored().energy);
}

void ShutDownTest::linkOpenRefusesOnlyTheFrameClose()
{
    storeBoxes(QStringLiteral("1"), QStringLiteral("1"));
    RecordingHost host(0);
    host.openConversation();
    RecordingUserInterface ui;
    ShutDownSequence sequence = host.sequence(ui);

    // Also refused when the supply is not connected: the link is what holds the program.
    for (const bool connected : {true, false}) {
        host.setConnected(connected);
        ui.clear();
        QVERIFY(queryUnload(sequence, ShutDownSequence::kUnloadFromFrame, [](ShutDownDialog &d) { d.accept(); }));
        QCOMPARE(ui.beeps, 1);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, QStringLiteral("This program cannot be closed while a DDE link is open."));
        QCOMPARE(ui.messages[0].icon, UserInterface::Icon::Exclamation);
    }
    QCOMPARE(m_dialogsShown, 0);
    QVERIFY(host.sent().isEmpty());

    // The program's own request is not refused: the dialog comes up as usual.
    host.setConnected(true);
    ui.clear();
    QVERIFY(!queryUnload(sequence, ShutDownSequence::kUnloadFromProgram, [](ShutDownDialog &d) { d.accept(); }));
    QCOMPARE(m_dialogsShown, 1);
    QCOMPARE(ui.beeps, 0);
    QCOMPARE(host.sent(), (QStringList{QStringLiteral("SCAOFF"), QStringLiteral("VEN0")}));
}

void ShutDownTest::terminationAppliesStoredChoices()
{
    RecordingHost host(1);
    host.openConversation(); // not refused by an open link either
    RecordingUserInterface ui;
    ShutDownSequence sequence = host.sequence(ui);

    storeBoxes(QStringLiteral("1"), QStringLiteral("2"));
    QVERIFY(!queryUnload(sequence, ShutDownSequence::kUnloadFromSystem, [](ShutDownDialog &d) { d.reject(); }));
    QCOMPARE(m_dialogsShown, 0);
    QCOMPARE(host.sent(), (QStringList{QStringLiteral("SFIOFF")}));
    QCOMPARE(ui.beeps, 0);
    QVERIFY(ui.messages.isEmpty());

    host.clearSent();
    storeBoxes(QStringLiteral("0"), QStringLiteral("1"));
    QVERIFY(!queryUnload(sequence, ShutDownSequence::kUnloadFromSystem, [](ShutDownDialog &d) { d.reject(); }));
    QCOMPARE(host.sent(), (QStringList{QStringLiteral("VEN0")}));
    QCOMPARE(m_dialogsShown, 0);
}

QTEST_MAIN(ShutDownTest)
#include "ShutDownTest.moc"
