#pragma once

class QHBoxLayout;
class QPushButton;
class QString;
class QWidget;

// The button row of the program's dialogs: "OK" (Command_OK, the default button) and a cancel
// button (Command_Cancel) at the right.
struct DialogButtons
{
    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
    QHBoxLayout *row = nullptr;

    static DialogButtons make(QWidget *dialog, const QString &cancelCaption);
};
