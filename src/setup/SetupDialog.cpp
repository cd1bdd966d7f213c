#include "setup/SetupDialog.h"

#include "core/Conversions.h"
#include "core/ControllerState.h"
#include "core/DialogButtons.h"
#include "core/SettingsStore.h"
#include "core/UserInterface.h"
#include "device/PortTable.h"
#include "device/ConnectionSequence.h"
#include "device/SupplyLine.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdlib>

namespace {

const QString kInUseSuffix = QStringLiteral(" (in use)");
const QString kCurrentSuffix = QStringLiteral(" (current setting)");
const QString kNoPermissionSuffix = QStringLiteral(" (no permission)");

QString portName(int port)
{
    return QStringLiteral("COM") + StrOf(float(port)) + QLatin1Char(':');
}

} // namespace

SetupDialog::SetupDialog(ControllerState &state, UserInterface &ui, SupplyLine &line,
                                   ConnectionSequence &connection,
                                   QWidget *parent, PortProbe::Factory factory)
    : QDialog(parent), m_state(state), m_ui(ui), m_line(line), m_connection(connection), m_probe(std::move(factory))
{
    buildControls();
    load();
}

void SetupDialog::buildControls()
{
    setWindowTitle(QStringLiteral("Setup"));
    setObjectName(QStringLiteral("Form_R4150DSetup"));

    m_frame1 = new QGroupBox(QStringLiteral("Com Port:"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_comboPort = new QComboBox(m_frame1);
    m_comboPort->setObjectName(QStringLiteral("Combo_port"));
    m_labelDevice = new QLabel(m_frame1);
    m_labelDevice->setObjectName(QStringLiteral("Label_Device"));
    m_labelDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_labelSettings = new QLabel(m_frame1);
    m_labelSettings->setObjectName(QStringLiteral("Label_Settings"));
    auto *portLayout = new QVBoxLayout(m_frame1);
    auto *portRow = new QHBoxLayout;
    portRow->addWidget(m_comboPort);
    portRow->addWidget(m_labelDevice, 1);
    portLayout->addLayout(portRow);
    portLayout->addWidget(m_labelSettings);

    m_frame2 = new QGroupBox(QStringLiteral("Power Supply"), this);
    m_frame2->setObjectName(QStringLiteral("Frame2"));
    m_comboPowerSupply = new QComboBox(m_frame2);
    m_comboPowerSupply->setObjectName(QStringLiteral("Combo_PowerSupply"));
    m_comboPowerSupply->addItems({QStringLiteral("R4150-D"), QStringLiteral("Tavrel digital")});
    auto *modelLayout = new QVBoxLayout(m_frame2);
    modelLayout->addWidget(m_comboPowerSupply);

    const DialogButtons buttons = DialogButtons::make(this, QStringLiteral("Close"));
    m_commandOk = buttons.ok;
    m_commandCancel = buttons.cancel;

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_frame1);
    layout->addWidget(m_frame2);
    layout->addLayout(buttons.row);

    connect(m_commandOk, &QPushButton::clicked, this, &SetupDialog::onOk);
    connect(m_commandCancel, &QPushButton::clicked, this, &SetupDialog::onCancel);
}

void SetupDialog::load()
{
    m_ui.setWaitCursor(true);

    // A model the program does not know has no entry: nothing is selected, and OK keeps it.
    const qint16 model = m_state.powerSupply();
    m_comboPowerSupply->setCurrentIndex(model == 0 || model == 1 ? model : -1);

    m_labelSettings->setText(QStringLiteral("Settings: ") + kLineSettings);

    m_commandOk->setEnabled(false);
    m_comboPort->clear();
    int remembered = -1;
    for (const PortProbe::Entry &entry : m_probe.probeAll()) {
        if (entry.outcome == PortProbe::Outcome::Absent)
            continue;
        addPortEntry(entry);
        if (entry.port == m_state.CommPort())
            remembered = m_comboPort->count() - 1;
    }
    // Adding the first entry selects it on its own; only the current port is preselected.
    m_comboPort->setCurrentIndex(remembered);
    showSelectedPath();
    connect(m_comboPort, &QComboBox::currentIndexChanged, this, &SetupDialog::portIndexChanged);
    if (remembered >= 0)
        onPortChosen();

    m_ui.setWaitCursor(false);
}

void SetupDialog::addPortEntry(const PortProbe::Entry &entry)
{
    QString text = portName(entry.port);
    int number = entry.port;
    bool refused = false;
    switch (entry.outcome) {
    case PortProbe::Outcome::InUse:
        text += entry.port == m_state.CommPort() ? kCurrentSuffix : kInUseSuffix;
        number = -entry.port;
        break;
    case PortProbe::Outcome::NoPermission:
        text += kNoPermissionSuffix;
        refused = true;
        break;
    default:
        break;
    }
    m_comboPort->addItem(text);
    const int row = m_comboPort->count() - 1;
    m_comboPort->setItemData(row, number, kNumberRole);
    m_comboPort->setItemData(row, entry.path, kPathRole);
    m_comboPort->setItemData(row, refused, kRefusedRole);
    m_comboPort->setItemData(row, entry.path, Qt::ToolTipRole);
}

void SetupDialog::showSelectedPath()
{
    const int row = m_comboPort->currentIndex();
    if (row < 0) {
        m_labelDevice->clear();
        m_labelDevice->setToolTip(QString());
        return;
    }
    const QString path = m_comboPort->itemData(row, kPathRole).toString();
    QString text = QStringLiteral("Device: ") + path;
    const QString target = PortTable::resolved(path);
    if (!target.isEmpty() && target != path)
        text += QStringLiteral(" (") + target + QLatin1Char(')');
    m_labelDevice->setText(text);
    m_labelDevice->setToolTip(path);
}

void SetupDialog::portIndexChanged(int index)
{
    showSelectedPath();
    if (index >= 0)
        onPortChosen();
}

int SetupDialog::entryNumber(int row) const
{
    return m_comboPort->itemData(row, kNumberRole).toInt();
}

QString SetupDialog::messageTitle() const
{
    return SettingsStore::applicationName();
}

void SetupDialog::onPortChosen()
{
    m_commandOk->setEnabled(true);
}

void SetupDialog::onOk()
{
    const int model = m_comboPowerSupply->currentIndex();
    if (model >= 0)
        m_state.setPowerSupply(qint16(model));

    const int row = m_comboPort->currentIndex();
    if (row < 0)
        return; // OK is enabled only once an entry is chosen
    const int n = entryNumber(row);

    if (m_comboPort->itemData(row, kRefusedRole).toBool()) {
        // Opening it would only fail in Init: say why here and let the operator choose again.
        const QString path = m_comboPort->itemData(row, kPathRole).toString();
        m_ui.messageBox(portName(n) + QStringLiteral(" you are not allowed to open ") + path
                            + QStringLiteral(". Add your user to the group dialout and log in again.")
                            + QLatin1Char('\r'),
                        messageTitle(), UserInterface::Icon::Exclamation);
        return;
    }

    if (n >= 0) {
        accept();
        m_connection.changePort(qint16(n));
        return;
    }

    const int port = std::abs(n);
    if (port != m_state.CommPort()) {
        m_ui.messageBox(QStringLiteral("COM") + StrOf(float(port)) + QStringLiteral(": is already in use.")
                            + QLatin1Char('\r'),
                        messageTitle(), UserInterface::Icon::None);
        return;
    }
    // The port this program holds open: the link stays as it is.
    accept();
}

void SetupDialog::onCancel()
{
    QDialog::reject();
}

void SetupDialog::reject()
{
    onCancel();
}
