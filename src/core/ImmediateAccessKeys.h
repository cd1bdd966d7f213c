#pragma once

#include <QObject>

class QWidget;

// Qt animates a button's access key: the click lands 100 ms later, so Alt+F and Enter typed
// quickly would close a dialog before its check box changed. This filter makes the access key
// of every button and check box in a dialog act at once, as a mouse click does.
class ImmediateAccessKeys : public QObject
{
    Q_OBJECT
public:
    // Installs the filter on every button of `dialog` that exists now.
    static void install(QWidget *dialog);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
