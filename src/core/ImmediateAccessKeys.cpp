#include "core/ImmediateAccessKeys.h"

#include <QAbstractButton>
#include <QShortcutEvent>
#include <QWidget>

void ImmediateAccessKeys::install(QWidget *dialog)
{
    auto *filter = new ImmediateAccessKeys(dialog);
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>())
        button->installEventFilter(filter);
}

bool ImmediateAccessKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Shortcut)
        return QObject::eventFilter(watched, event);
    auto *button = qobject_cast<QAbstractButton *>(watched);
    // An ambiguous key only moves the focus between its owners; Qt does that well already.
    if (!button || static_cast<QShortcutEvent *>(event)->isAmbiguous() || !button->isEnabled())
        return QObject::eventFilter(watched, event);
    if (button->focusPolicy() & Qt::TabFocus)
        button->setFocus(Qt::ShortcutFocusReason);
    button->click();
    return true;
}
