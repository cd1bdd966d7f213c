#include "app/ShutDownDialog.h"

#include "core/DialogButtons.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QPushButton>
#include <QVBoxLayout>

ShutDownDialog::ShutDownDialog(QWidget *parent) : QDialog(parent)
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

    connect(m_commandOk, &QPushButton::clicked, this, &ShutDownDialog::onOk);
    connect(m_commandCancel, &QPushButton::clicked, this, &ShutDownDialog::onCancel);

    load();
}

void ShutDownDialog::load()
{
    m_checkFilament->setChecked(ShutDownChoices::storedBox(ShutDownChoices::kFilamentKey));
    m_checkEnergy->setChecked(ShutDownChoices::storedBox(ShutDownChoices::kEnergyKey));
}

ShutDownChoices ShutDownDialog::choices() const
{
    ShutDownChoices choices;
    choices.filament = m_checkFilament->isChecked();
    choices.energy = m_checkEnergy->isChecked();
    return choices;
}

void ShutDownDialog::onOk()
{
    done(QDialog::Accepted);
}

void ShutDownDialog::onCancel()
{
    m_tag = kCancelTag;
    done(QDialog::Rejected);
}

void ShutDownDialog::reject()
{
    onCancel();
}

void ShutDownDialog::done(int result)
{
    QDialog::done(result);
    unload();
}

void ShutDownDialog::unload()
{
    choices().store();
}

void ShutDownDialog::closeEvent(QCloseEvent *event)
{
    // QDialog would treat the close box as a rejection; here it leaves the tag empty.
    if (isVisible())
        done(QDialog::Accepted);
    event->accept();
}
