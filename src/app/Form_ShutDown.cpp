#include "app/Form_ShutDown.h"

#include "core/DialogButtons.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

Form_ShutDown::Form_ShutDown(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_ShutDown"));
    setWindowTitle(QStringLiteral("Shut Down"));

    m_checkEnergy = new QCheckBox(QStringLiteral("Set &Voltages to Zero"), this);
    m_checkEnergy->setObjectName(QStringLiteral("Check_Energy"));
    m_checkFilament = new QCheckBox(QStringLiteral("Set &Filament Off"), this);
    m_checkFilament->setObjectName(QStringLiteral("Check_Filament"));
    const DialogButtons buttons = DialogButtons::make(this, QStringLiteral("Cancel"));
    m_commandOk = buttons.ok;
    m_commandCancel = buttons.cancel;
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_checkEnergy);
    layout->addWidget(m_checkFilament);
    layout->addLayout(buttons.row);

    connect(m_commandOk, &QPushButton::clicked, this, &Form_ShutDown::Command_OK_Click);
    connect(m_commandCancel, &QPushButton::clicked, this, &Form_ShutDown::Command_Cancel_Click);

    Form_Load();
}

void Form_ShutDown::Form_Load()
{
    m_checkFilament->setChecked(ShutDownChoices::storedBox(ShutDownChoices::kFilamentKey));
    m_checkEnergy->setChecked(ShutDownChoices::storedBox(ShutDownChoices::kEnergyKey));
}

ShutDownChoices Form_ShutDown::choices() const
{
    ShutDownChoices choices;
    choices.filament = m_checkFilament->isChecked();
    choices.energy = m_checkEnergy->isChecked();
    return choices;
}

void Form_ShutDown::Command_OK_Click()
{
    done(QDialog::Accepted);
}

void Form_ShutDown::Command_Cancel_Click()
{
    m_tag = kCancelTag;
    done(QDialog::Rejected);
}

void Form_ShutDown::reject()
{
    Command_Cancel_Click();
}

void Form_ShutDown::done(int result)
{
    QDialog::done(result);
    Form_Unload();
}

void Form_ShutDown::Form_Unload()
{
    choices().store();
}

void Form_ShutDown::closeEvent(QCloseEvent *event)
{
    // QDialog would treat the close box as a rejection; here it leaves the tag empty.
    if (isVisible())
        done(QDialog::Accepted);
    event->accept();
}
