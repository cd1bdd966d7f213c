#pragma once

class QHBoxLayout;
class QPushButton;
class QString;
class QWidget;

// The button row of the program's dialogs: "OK" (Command_OK, the default button) and a cancel
// button (Command_Cancel) at the right. Made after the dialog's other buttons, whose access keys
// it makes act at once.
struct DialogButtons
{
    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
    QHBoxLayout *row = nullptr;

    static DialogButtons make(QWidget *dialog, const QString &cancelCaption);
};
