#pragma once

#include <QDialog>

class NetworkLink;
class QCheckBox;
class QLabel;
class QLineEdit;

// "Network": a non-modal dialog with the lab network's settings (stored and put to use by
// "Apply") and the connection's state as it changes.
class NetworkDialog : public QDialog
{
    Q_OBJECT
public:
    explicit NetworkDialog(NetworkLink &network, QWidget *parent = nullptr);

    void onApply();
    QCheckBox &enabledBox() const { return *m_enabled; }
    QCheckBox &remoteControlBox() const { return *m_remoteControl; }
    QLineEdit &hostField() const { return *m_host; }
    QLineEdit &portField() const { return *m_port; }
    QString stateText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showSettings();
    void showState();
    QLineEdit *addField(const char *name, const QString &caption, const QString &toolTip);

    NetworkLink &m_network;
    QCheckBox *m_enabled = nullptr;
    QCheckBox *m_remoteControl = nullptr;
    QLineEdit *m_host = nullptr;
    QLineEdit *m_port = nullptr;
    QLineEdit *m_prefix = nullptr;
    QLineEdit *m_clientId = nullptr;
    QLineEdit *m_username = nullptr;
    QLineEdit *m_passwordFile = nullptr;
    QLineEdit *m_caFile = nullptr;
    QLineEdit *m_certFile = nullptr;
    QLineEdit *m_keyFile = nullptr;
    QLineEdit *m_keepAlive = nullptr;
    QLabel *m_state = nullptr;
    class QFormLayout *m_form = nullptr;
};
