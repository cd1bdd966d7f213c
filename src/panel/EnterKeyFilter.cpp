#include "panel/EnterKeyFilter.h"

#include "panel/EditField.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace {

// Enter with no modifier or with Shift is the Enter character; with Ctrl or Alt it is not.
bool isEnterCharacter(const QKeyEvent &key)
{
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter)
        return false;
    const Qt::KeyboardModifiers others = key.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    return others == Qt::NoModifier;
}

} // namespace

EnterKeyFilter::EnterKeyFilter(QWidget &mainWindow, QObject *parent)
    : QObject(parent), m_mainWindow(&mainWindow)
{
}

bool EnterKeyFilter::belongsToMainWindow(QObject *watched) const
{
    // A key event reaches the window first and then the focused widget; whichever comes first
    // is where the key is handled.
    if (watched->isWidgetType())
        return static_cast<QWidget *>(watched)->window() == m_mainWindow;
    if (watched->isWindowType())
        return watched == m_mainWindow->windowHandle();
    return false;
}

bool EnterKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !m_mainWindow)
        return false;
    if (!isEnterCharacter(*static_cast<QKeyEvent *>(event)))
        return false;
    if (QApplication::activeWindow() != m_mainWindow || QApplication::activeModalWidget()
        || QApplication::activePopupWidget())
        return false;
    if (!belongsToMainWindow(watched))
        return false;
    QWidget *focused = QApplication::focusWidget();
    // With no focused control there is nothing to confirm: the key goes on as usual.
    if (!focused || focused->window() != m_mainWindow)
        return false;
    // Menu navigation from the keyboard is the menu bar's own: Enter opens the menu there.
    if (qobject_cast<QMenuBar *>(focused))
        return false;

    // A field's value becomes pending; on any other control Enter only runs the cycle.
    if (auto *field = qobject_cast<EditField *>(focused))
        field->mark();
    emit refreshRequested();
    // The cycle lets events run; the focus may have moved meanwhile.
    if (auto *field = qobject_cast<EditField *>(QApplication::focusWidget());
        field && field->window() == m_mainWindow)
        field->selectAll();
    return true;
}
