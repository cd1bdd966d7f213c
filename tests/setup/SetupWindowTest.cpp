// The setup dialog through the real window: openSetup shows the real SetupDialog
// modally; the test plays the operator from inside its modal loop. The ports are virtual
// supplies on pseudo-terminals, one held open by another port object, one mapped to nothing.

#include "WindowFixture.h"

#include "device/SerialPort.h"
#include "setup/SetupDialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

constexpr int kPollMs = 10;
const QString kMissingPath = QStringLiteral("/nonexistent/tavrel-no-such-tty");

// Runs `answer` once inside the next modal setup dialog.
class SetupAnswer
{
public:
    explicit SetupAnswer(std::function<void(SetupDialog &)> answer)
    {
        m_timer.setInterval(kPollMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this, answer] {
            auto *dialog = qobject_cast<SetupDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            m_timer.stop();
            ++shown;
            answer(*dialog);
            if (dialog->isVisible()) // a failed check above must not leave the test waiting
                dialog->reject();
        });
        m_timer.start();
    }

    int shown = 0;

private:
    QTimer m_timer;
};

QComboBox *portList(SetupDialog &dialog)
{
    return dialog.findChild<QComboBox *>(QStringLiteral("Combo_port"));
}

QStringList entries(QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

void choose(SetupDialog &dialog, const QString &entryText, int model)
{
    QComboBox *ports = portList(dialog);
    ports->setCurrentIndex(ports->findText(entryText));
    dialog.findChild<QComboBox *>(QStringLiteral("Combo_PowerSupply"))->setCurrentIndex(model);
}

void press(SetupDialog &dialog, const char *button)
{
    dialog.findChild<QPushButton *>(QLatin1String(button))->click();
}

} // namespace

class SetupWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void setupThroughTheWindow();
};

void SetupWindowTest::setupThroughTheWindow()
{
    WindowFixture fixture; // COM1, connected
    VirtualSupply::Options second;
    second.model = InstrumentModel::kModelTavrel;
    VirtualSupply freeSupply(second);
    VirtualSupply heldSupply;
    QVERIFY(freeSupply.start());
    QVERIFY(heldSupply.start());
    freeSupply.updateModel([](InstrumentModel &model) { model.setEnergy(200.0f); });
    QVERIFY(fixture.start());
    PortTable::setPath(2, freeSupply.devicePath());
    PortTable::setPath(3, heldSupply.devicePath());
    for (int port = 4; port <= PortTable::kLastPort; ++port)
        PortTable::setPath(port, kMissingPath);
    std::unique_ptr<SerialPort> holder = PortTable::create(3); // another program's hold
    QVERIFY(holder->open());

    MainWindow &window = *fixture.window;
    window.timer().stop();
    window.setSetupDialogRunner({}); // the real dialog from here on
    QAction *setupAction = window.findChild<QAction *>(QStringLiteral("mnuSetup"));
    const QString r4150Caption = QStringLiteral("Tavrel Power Supply [R4150-D]");
    const QString tavrelCaption = QStringLiteral("Tavrel Power Supply [Tavrel digital]");
    QCOMPARE(window.windowTitle(), r4150Caption);
    fixture.supply.clearLog();

    // The list, an in-use port refused with its message, then Close: nothing changed.
    SetupAnswer inUse([&](SetupDialog &dialog) {
        QCOMPARE(entries(portList(dialog)),
                 (QStringList{QStringLiteral("COM1: (current setting)"), QStringLiteral("COM2:"),
                              QStringLiteral("COM3: (in use)")}));
        QCOMPARE(portList(dialog)->currentIndex(), 0);
        QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("Command_OK"))->isEnabled());
        choose(dialog, QStringLiteral("COM3: (in use)"), 0);
        press(dialog, "Command_OK");
        QCOMPARE(fixture.ui.messages.size(), 1);
        QCOMPARE(fixture.ui.messages[0].text, QStringLiteral("COM3: is already in use.\r"));
        QCOMPARE(fixture.ui.messages[0].icon, UserInterface::Icon::None);
        QVERIFY(dialog.isVisible()); // stays open for another choice
        choose(dialog, QStringLiteral("COM2:"), 1);
        press(dialog, "Command_Cancel");
    });
    setupAction->trigger();
    QCOMPARE(inUse.shown, 1);
    QCOMPARE(window.windowTitle(), r4150Caption);
    QCOMPARE(window.state().CommPort(), qint16(1));
    QVERIFY(window.line().isOpen());

    // The current port with another model: the caption at once, the link left alone.
    SetupAnswer current([&](SetupDialog &dialog) {
        choose(dialog, QStringLiteral("COM1: (current setting)"), 1);
        press(dialog, "Command_OK");
        QVERIFY(!dialog.isVisible());
        QCOMPARE(window.windowTitle(), tavrelCaption);
    });
    setupAction->trigger();
    QCOMPARE(current.shown, 1);
    QCOMPARE(window.windowTitle(), tavrelCaption);
    QCOMPARE(window.state().table.ModuleCode[1], QStringLiteral("CA")); // until the next Init
    QVERIFY(window.line().isOpen());
    QCOMPARE(fixture.commandsBeforeProbe(), QStringList()); // no Init on the current port

    // A free port: the old link closes, Init reads every module from the new supply.
    SetupAnswer reconnect([&](SetupDialog &dialog) {
        choose(dialog, QStringLiteral("COM2:"), 1);
        press(dialog, "Command_OK");
    });
    setupAction->trigger();
    QCOMPARE(reconnect.shown, 1);
    QCOMPARE(window.state().CommPort(), qint16(2));
    QVERIFY(waitForLine(window.line())); // the port change is a job
    QCOMPARE(window.state().table.ModuleCode[1], QStringLiteral("FI"));
    QStringList expected = readPass(1);
    expected << QStringLiteral("VEN200"); // the control voltage the full read-back wrote
    QCOMPARE(freeSupply.waitForCommands(expected.size(), 3000), true);
    QCOMPARE(freeSupply.receivedCommands(), expected);
    QCOMPARE(window.model().fieldText(PanelField::value(0)), QStringLiteral("200"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label_CommPort"))->text(), QStringLiteral("COM2:"));
    QCOMPARE(PortTable::resolved(window.line().devicePath()), PortTable::resolved(freeSupply.devicePath()));
    QCOMPARE(fixture.supply.receivedCommands(), QStringList());
    QCOMPARE(fixture.ui.messages.size(), 1);

    // Close after changing both lists changes nothing; the old port is free again now.
    SetupAnswer closeOnly([&](SetupDialog &dialog) {
        QCOMPARE(entries(portList(dialog)),
                 (QStringList{QStringLiteral("COM1:"), QStringLiteral("COM2: (current setting)"),
                              QStringLiteral("COM3: (in use)")}));
        choose(dialog, QStringLiteral("COM1:"), 0);
        press(dialog, "Command_Cancel");
    });
    freeSupply.clearLog();
    setupAction->trigger();
    QCOMPARE(closeOnly.shown, 1);
    QCOMPARE(window.windowTitle(), tavrelCaption);
    QCOMPARE(window.state().CommPort(), qint16(2));
    QVERIFY(window.line().isOpen());
    QCOMPARE(commandsBeforeProbe(window.line(), freeSupply), QStringList());
    QCOMPARE(fixture.supply.receivedCommands(), QStringList()); // no longer the window's port

    holder->close();
    freeSupply.stop();
    heldSupply.stop();
}

QTEST_MAIN(SetupWindowTest)
#include "SetupWindowTest.moc"
