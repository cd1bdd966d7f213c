#include "core/DialogButtons.h"

#include "core/ImmediateAccessKeys.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QString>

DialogButtons DialogButtons::make(QWidget *dialog, const QString &cancelCaption)
{
    DialogButtons buttons;
    buttons.ok = new QPushButton(QStringLiteral("OK"), dialog);
    buttons.ok->setObjectName(QStringLiteral("Command_OK"));
    buttons.ok->setDefault(true);
    buttons.cancel = new QPushButton(cancelCaption, dialog);
    buttons.cancel->setObjectName(QStringLiteral("Command_Cancel"));
    buttons.cancel->setAutoDefault(false);
    buttons.row = new QHBoxLayout;
    buttons.row->addStretch(1);
    buttons.row->addWidget(buttons.ok);
    buttons.row->addWidget(buttons.cancel);
    ImmediateAccessKeys::install(dialog);
    return buttons;
}
