#include "network/NetworkDialog.h"

#include "core/DialogButtons.h"
#include "network/NetworkLink.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NetworkDialog::NetworkDialog(NetworkLink &network, QWidget *parent) : QDialog(parent), m_network(network)
{
    setObjectName(QStringLiteral("Form_Network"));
    setWindowTitle(QStringLiteral("Network"));
    auto *layout = new QVBoxLayout(this);
    m_enabled = new QCheckBox(QStringLiteral("&Network: publish the supply on an MQTT broker"));
    m_enabled->setObjectName(QStringLiteral("Check_Enabled"));
    m_remoteControl = new QCheckBox(QStringLiteral("Allow &remote control"));
    m_remoteControl->setObjectName(QStringLiteral("Check_RemoteControl"));
    m_remoteControl->setToolTip(QStringLiteral("Off: other programs may read, but every command that changes "
                                               "anything is refused"));
    layout->addWidget(m_enabled);
    layout->addWidget(m_remoteControl);
    m_form = new QFormLayout;
    layout->addLayout(m_form);
    m_host = addField("Text_Host", QStringLiteral("&Broker:"), QStringLiteral("The broker's host name or address"));
    m_port = addField("Text_Port", QStringLiteral("&Port:"), QStringLiteral("1883, or 8883 for TLS"));
    m_prefix = addField("Text_Prefix", QStringLiteral("Topic p&refix:"),
                        QStringLiteral("Empty: %1").arg(NetworkSettings::defaultPrefix()));
    m_clientId = addField("Text_ClientId", QStringLiteral("&Client id:"), QStringLiteral("Empty: made from the prefix"));
    m_username = addField("Text_Username", QStringLiteral("&User name:"), QStringLiteral("Empty: anonymous"));
    m_passwordFile = addField("Text_PasswordFile", QStringLiteral("Pass&word file:"),
                              QStringLiteral("A file of mode 0600 that holds the password alone"));
    m_caFile = addField("Text_CaFile", QStringLiteral("C&A file:"), QStringLiteral("TLS: the broker's certificate authority"));
    m_certFile = addField("Text_CertFile", QStringLiteral("C&ertificate:"), QStringLiteral("TLS: this client's certificate"));
    m_keyFile = addField("Text_KeyFile", QStringLiteral("&Key file:"), QStringLiteral("TLS: this client's key"));
    m_keepAlive = addField("Text_KeepAlive", QStringLiteral("Keep &alive (s):"),
                           QStringLiteral("How soon the broker tells others that this program is gone"));
    m_state = new QLabel;
    m_state->setObjectName(QStringLiteral("Label_State"));
    m_form->addRow(QStringLiteral("State:"), m_state);
    auto *apply = new QPushButton(QStringLiteral("A&pply"));
    apply->setObjectName(QStringLiteral("Command_Apply"));
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(apply);
    layout->addLayout(row);
    const DialogButtons buttons = DialogButtons::make(this, QStringLiteral("Close"));
    layout->addLayout(buttons.row);
    connect(apply, &QPushButton::clicked, this, &NetworkDialog::onApply);
    connect(buttons.ok, &QPushButton::clicked, this, [this] {
        onApply();
        accept();
    });
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(&m_network, &NetworkLink::stateChanged, this, &NetworkDialog::showState);
    showSettings();
    showState();
}

QLineEdit *NetworkDialog::addField(const char *name, const QString &caption, const QString &toolTip)
{
    auto *field = new QLineEdit;
    field->setObjectName(QLatin1String(name));
    field->setToolTip(toolTip);
    m_form->addRow(caption, field);
    return field;
}

void NetworkDialog::showEvent(QShowEvent *event)
{
    showSettings();
    showState();
    QDialog::showEvent(event);
}

void NetworkDialog::showSettings()
{
    const NetworkSettings &settings = m_network.settings();
    m_enabled->setChecked(settings.enabled);
    m_remoteControl->setChecked(settings.remoteControl);
    m_host->setText(settings.host);
    m_port->setText(QString::number(settings.port));
    m_prefix->setText(settings.prefix);
    m_clientId->setText(settings.clientId);
    m_username->setText(settings.username);
    m_passwordFile->setText(settings.passwordFile);
    m_caFile->setText(settings.caFile);
    m_certFile->setText(settings.certFile);
    m_keyFile->setText(settings.keyFile);
    m_keepAlive->setText(QString::number(settings.keepAliveSeconds));
}

void NetworkDialog::onApply()
{
    NetworkSettings settings = m_network.settings();
    settings.enabled = m_enabled->isChecked();
    settings.remoteControl = m_remoteControl->isChecked();
    settings.host = m_host->text().trimmed();
    bool ok = false;
    const int port = m_port->text().trimmed().toInt(&ok);
    if (ok && port > 0 && port <= 65535)
        settings.port = port;
    settings.prefix = m_prefix->text().trimmed();
    settings.clientId = m_clientId->text().trimmed();
    settings.username = m_username->text().trimmed();
    settings.passwordFile = m_passwordFile->text().trimmed();
    settings.caFile = m_caFile->text().trimmed();
    settings.certFile = m_certFile->text().trimmed();
    settings.keyFile = m_keyFile->text().trimmed();
    const int keepAlive = m_keepAlive->text().trimmed().toInt(&ok);
    if (ok && keepAlive >= 5)
        settings.keepAliveSeconds = keepAlive;
    settings.store();
    m_network.apply(settings);
    showSettings(); // what was not taken shows as it stays
}

QString NetworkDialog::stateText() const
{
    return m_state->text();
}

void NetworkDialog::showState()
{
    QString text = m_network.stateText();
    if (m_network.state() == NetworkLink::State::Connected)
        text += QStringLiteral(" as %1").arg(m_network.prefix());
    m_state->setText(text);
}
