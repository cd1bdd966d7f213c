// The setup dialog against real ports: pseudo-terminals as COM1..COM4, one held by the
// program's own link (a real supply line), one held by "another program", the rest absent.
#include "PseudoTerminal.h"
#include "RefusingPort.h"
#include "DeviceRig.h"

#include "core/ControllerState.h"
#include "RecordingUserInterface.h"
#include "device/PortTable.h"
#include "setup/SetupDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The main window's part in the setup: the device layer over a plain-string panel. Each
// connection attempt is recorded with its port.
class LinkHost : public DeviceRig
{
public:
    LinkHost(ControllerState &state, UserInterface &) : DeviceRig(state)
    {
        QObject::connect(&connection, &ConnectionSequence::connectedChanged, [this](bool) {
            calls << QStringLiteral("Init COM%1").arg(this->state.commPort);
            dialogVisibleAtInit = dialog && dialog->isVisible();
        });
    }

    QStringList calls;
    QWidget *dialog = nullptr;
    bool dialogVisibleAtInit = false;
};

QComboBox *portList(QWidget &dialog)
{
    return dialog.findChild<QComboBox *>(QStringLiteral("Combo_port"));
}
QComboBox *modelList(QWidget &dialog)
{
    return dialog.findChild<QComboBox *>(QStringLiteral("Combo_PowerSupply"));
}
QPushButton *okButton(QWidget &dialog)
{
    return dialog.findChild<QPushButton *>(QStringLiteral("Command_OK"));
}
QPushButton *closeButton(QWidget &dialog)
{
    return dialog.findChild<QPushButton *>(QStringLiteral("Command_Cancel"));
}

QStringList entryTexts(QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

QList<int> entryNumbers(const SetupDialog &dialog, QComboBox *combo)
{
    QList<int> numbers;
    for (int i = 0; i < combo->count(); ++i)
        numbers << dialog.entryNumber(i);
    return numbers;
}

} // namespace

class SetupDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void waitCursorAndDevicePaths();
    void connectedListAndInUseChoices();
    void notConnectedReconnectsOnOk();
    void noPreselectionWithoutCurrentPort();
    void closeChangesNothing();
    void unknownModelSelectsNothing();
    void portWithoutPermissionIsRefused();

private:
    QTemporaryDir m_home;
    std::unique_ptr<PseudoTerminal> m_pty[4];
    std::unique_ptr<SerialPort> m_otherProgram;
};

void SetupDialogTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));
    QCoreApplication::setApplicationName(QStringLiteral("tavrel"));
}

void SetupDialogTest::init()
{
    for (int i = 0; i < 4; ++i) {
        m_pty[i] = std::make_unique<PseudoTerminal>();
        QVERIFY(m_pty[i]->isValid());
        PortTable::setPath(i + 1, m_pty[i]->slavePath());
    }
    for (int port = 5; port <= 8; ++port)
        PortTable::setPath(port, m_home.filePath(QStringLiteral("absent%1").arg(port)));
}

void SetupDialogTest::cleanup()
{
    m_otherProgram.reset();
    for (auto &pty : m_pty)
        pty.reset();
}

void SetupDialogTest::waitCursorAndDevicePaths()
{
    ControllerState state;
    RecordingUserInterface ui;
    LinkHost host(state, ui);
    SetupDialog dialog(state, ui, host.line, host.connection);

    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("Label_Settings"))->text(),
             QStringLiteral("Settings: 9600,n,8,1"));
    QCOMPARE(modelList(dialog)->count(), 2);
    QVERIFY(okButton(dialog)->isDefault());
    // The probe ran under the wait cursor, and the cursor came back.
    QCOMPARE(ui.waitCursorChanges, (QList<bool>{true, false}));
    // Each entry tells which device it stands for.
    QComboBox *ports = portList(dialog);
    QCOMPARE(ports->count(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(ports->itemData(i, Qt::ToolTipRole).toString(), m_pty[i]->slavePath());
}

void SetupDialogTest::connectedListAndInUseChoices()
{
    ControllerState state;
    RecordingUserInterface ui;
    LinkHost host(state, ui);
    state.setCommPort(2);
    QVERIFY(host.line.open(2));
    m_otherProgram = PortTable::create(3);
    QVERIFY(m_otherProgram->open());

    {
        SetupDialog dialog(state, ui, host.line, host.connection);
        QComboBox *ports = portList(dialog);
        QCOMPARE(entryTexts(ports), (QStringList{QStringLiteral("COM1:"), QStringLiteral("COM2: (current setting)"),
                                                 QStringLiteral("COM3: (in use)"), QStringLiteral("COM4:")}));
        QCOMPARE(entryNumbers(dialog, ports), (QList<int>{1, -2, -3, 4}));
        QCOMPARE(ports->currentIndex(), 1);
        QVERIFY(okButton(dialog)->isEnabled());
        const QLabel *device = dialog.findChild<QLabel *>(QStringLiteral("Label_Device"));
        QVERIFY(device->text().contains(m_pty[1]->slavePath()));

        // A port another program holds: the message, the model applied anyway, the dialog open.
        dialog.show();
        QSignalSpy caption(&state, &ControllerState::captionChanged);
        modelList(dialog)->setCurrentIndex(1);
        ports->setCurrentIndex(2);
        QVERIFY(device->text().contains(m_pty[2]->slavePath()));
        okButton(dialog)->click();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, QStringLiteral("COM3: is already in use.\r"));
        QCOMPARE(ui.messages[0].icon, UserInterface::Icon::None);
        QCOMPARE(state.powerSupply(), qint16(1));
        QCOMPARE(caption.size(), 1);
        QVERIFY(dialog.isVisible());
        QVERIFY(host.calls.isEmpty());
        QCOMPARE(state.commPort, qint16(2));

        // The port this program holds: the dialog closes and the link stays as it is.
        ports->setCurrentIndex(1);
        okButton(dialog)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(host.calls.isEmpty());
        QVERIFY(host.line.isOpen());
        QCOMPARE(host.line.devicePath(), PortTable::resolved(m_pty[1]->slavePath()));
        QCOMPARE(ui.messages.size(), 1);
    }

    // Reopened: probed afresh; a free port closes the link and reconnects there.
    SetupDialog dialog(state, ui, host.line, host.connection);
    host.dialog = &dialog;
    QCOMPARE(modelList(dialog)->currentIndex(), 1);
    dialog.show();
    portList(dialog)->setCurrentIndex(3);
    QTest::keyClick(&dialog, Qt::Key_Return); // OK is the default button
    QVERIFY(waitForLine(host.line)); // the port change is a job
    QCOMPARE(host.calls, (QStringList{QStringLiteral("Init COM4")}));
    QVERIFY(!host.dialogVisibleAtInit);
    QCOMPARE(state.commPort, qint16(4));
    QVERIFY(host.line.isOpen());
    QCOMPARE(host.line.devicePath(), PortTable::resolved(m_pty[3]->slavePath()));
    // The old port was given back.
    std::unique_ptr<SerialPort> old = PortTable::create(2);
    QVERIFY(old->open());
}

void SetupDialogTest::notConnectedReconnectsOnOk()
{
    ControllerState state;
    RecordingUserInterface ui;
    LinkHost host(state, ui);
    state.setCommPort(2);

    SetupDialog dialog(state, ui, host.line, host.connection);
    QComboBox *ports = portList(dialog);
    QCOMPARE(entryTexts(ports), (QStringList{QStringLiteral("COM1:"), QStringLiteral("COM2:"), QStringLiteral("COM3:"),
                                             QStringLiteral("COM4:")}));
    QCOMPARE(entryNumbers(dialog, ports), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(ports->currentIndex(), 1);
    QVERIFY(okButton(dialog)->isEnabled());

    dialog.show();
    okButton(dialog)->click();
    QVERIFY(waitForLine(host.line));
    QCOMPARE(host.calls, (QStringList{QStringLiteral("Init COM2")}));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(host.line.isOpen());
    QVERIFY(ui.messages.isEmpty());
    QCOMPARE(state.powerSupply(), qint16(0));
}

void SetupDialogTest::noPreselectionWithoutCurrentPort()
{
    ControllerState state;
    RecordingUserInterface ui;
    LinkHost host(state, ui);

    // No port yet.
    {
        SetupDialog dialog(state, ui, host.line, host.connection);
        QCOMPARE(portList(dialog)->count(), 4);
        QCOMPARE(portList(dialog)->currentIndex(), -1);
        QVERIFY(!okButton(dialog)->isEnabled());
    }

    // The current port no longer exists: it is not listed, nothing is preselected.
    state.setCommPort(3);
    PortTable::setPath(3, m_home.filePath(QStringLiteral("unplugged")));
    SetupDialog dialog(state, ui, host.line, host.connection);
    QComboBox *ports = portList(dialog);
    QCOMPARE(entryTexts(ports), (QStringList{QStringLiteral("COM1:"), QStringLiteral("COM2:"), QStringLiteral("COM4:")}));
    QCOMPARE(ports->currentIndex(), -1);
    QVERIFY(!okButton(dialog)->isEnabled());
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("Label_Device"))->text().isEmpty());

    // The operator picks one: OK comes on.
    ports->setCurrentIndex(2);
    QVERIFY(okButton(dialog)->isEnabled());
    dialog.show();
    okButton(dialog)->click();
    QVERIFY(waitForLine(host.line));
    QCOMPARE(host.calls, (QStringList{QStringLiteral("Init COM4")}));
}

void SetupDialogTest::closeChangesNothing()
{
    ControllerState state;
    RecordingUserInterface ui;
    LinkHost host(state, ui);
    state.setCommPort(1);
    QVERIFY(host.line.open(1));
    QSignalSpy caption(&state, &ControllerState::captionChanged);

    for (const bool byEscape : {false, true}) {
        SetupDialog dialog(state, ui, host.line, host.connection);
        dialog.show();
        modelList(dialog)->setCurrentIndex(1);
        portList(dialog)->setCurrentIndex(2);
        if (byEscape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            closeButton(dialog)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QCOMPARE(state.powerSupply(), qint16(0));
    QCOMPARE(state.commPort, qint16(1));
    QCOMPARE(caption.size(), 0);
    QVERIFY(host.calls.isEmpty());
    QVERIFY(host.line.isOpen());
    QVERIFY(ui.messages.isEmpty());
}

void SetupDialogTest::unknownModelSelectsNothing()
{
    ControllerState state;
    RecordingUserInterface ui;
    LinkHost host(state, ui);
    state.storePowerSupply(2);
    state.setCommPort(1);
    QVERIFY(host.line.open(1));

    {
        SetupDialog dialog(state, ui, host.line, host.connection);
        QCOMPARE(modelList(dialog)->currentIndex(), -1);
        dialog.show();
        okButton(dialog)->click(); // the current port, model untouched
        QCOMPARE(state.powerSupply(), qint16(2));
    }

    SetupDialog dialog(state, ui, host.line, host.connection);
    dialog.show();
    modelList(dialog)->setCurrentIndex(0);
    okButton(dialog)->click();
    QCOMPARE(state.powerSupply(), qint16(0));
    QVERIFY(host.calls.isEmpty());
}

void SetupDialogTest::portWithoutPermissionIsRefused()
{
    ControllerState state;
    RecordingUserInterface ui;
    LinkHost host(state, ui);
    state.setCommPort(1);
    // Port 3 as a user outside group dialout sees it; the others are the real devices.
    auto factory = [](int port) -> std::unique_ptr<SerialPort> {
        if (port == 3)
            return std::make_unique<RefusingPort>(SerialPort::Error::NoPermission);
        return PortTable::create(port);
    };

    SetupDialog dialog(state, ui, host.line, host.connection, nullptr, factory);
    QComboBox *ports = portList(dialog);
    QCOMPARE(ports->itemText(2), QStringLiteral("COM3: (no permission)"));
    dialog.show();
    modelList(dialog)->setCurrentIndex(1);
    ports->setCurrentIndex(2);
    okButton(dialog)->click();
    QCOMPARE(ui.messages.size(), 1);
    QVERIFY(ui.messages[0].text.startsWith(QStringLiteral("COM3:")));
    QVERIFY(ui.messages[0].text.contains(QStringLiteral("dialout")));
    QVERIFY(ui.messages[0].text.contains(m_pty[2]->slavePath()));
    QCOMPARE(ui.messages[0].icon, UserInterface::Icon::Exclamation);
    QVERIFY(dialog.isVisible());
    QVERIFY(host.calls.isEmpty());
    QCOMPARE(state.commPort, qint16(1));
    QCOMPARE(state.powerSupply(), qint16(1));
}

QTEST_MAIN(SetupDialogTest)
#include "SetupDialogTest.moc"
