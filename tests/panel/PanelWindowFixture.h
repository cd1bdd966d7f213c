#pragma once

#include "WindowFixture.h"

#include "panel/EditField.h"
#include "panel/SpinControl.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

// The real main window on the virtual supply, shown and active, with its timer stopped and auto
// refresh off, so that every command on the wire comes from the step under test. The cathode
// and the screen are switched on in the supply, so their spin controls take input.
class PanelWindowFixture : public WindowFixture
{
public:
    using WindowFixture::WindowFixture;

    bool open(const QString &commandLine = QStringLiteral("/COM1"))
    {
        supply.updateModel([](InstrumentModel &model) {
            model.setOn(1, true);
            model.setOn(2, true);
        });
        if (!start(commandLine))
            return false;
        window->timer().stop();
        window->state().setAutoRefresh(false);
        QApplication::setActiveWindow(window.get());
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        settle();
        return true;
    }

    // Lets pending events run, withdraws every mark and forgets the traffic and the messages
    // so far: what follows starts from a quiet panel.
    void settle()
    {
        QCoreApplication::processEvents();
        waitForLine(window->line());
        for (const PanelField &field : kPanelFields)
            window->model().clearMark(field);
        window->model().clearSwitchRequest(1);
        window->model().clearSwitchRequest(2);
        supply.clearLog();
        ui.clear();
    }

    EditField *field(const QString &name) const { return window->findChild<EditField *>(name); }
    SpinControl *spin(const QString &name) const { return window->findChild<SpinControl *>(name); }
    QPushButton *button(const QString &name) const { return window->findChild<QPushButton *>(name); }
    QLineEdit *controlVoltage() const { return window->findChild<QLineEdit *>(QStringLiteral("DA_set_voltage")); }
    QString focusName() const
    {
        const QWidget *focused = QApplication::focusWidget();
        return focused ? focused->objectName() : QString();
    }

    // Puts the focus into the field with a click and types `text` over its contents.
    void typeInto(EditField *edit, const QString &text)
    {
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    // A key through the window system, as the platform delivers it.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window->windowHandle(), key, modifiers);
        waitForLine(window->line()); // Enter's cycle ends before the next step
    }

    void cycle()
    {
        window->refreshCycle().runCycle();
        waitForLine(window->line());
    }
    // The commands the supply received since the last settle or clearLog, once the line is idle:
    // every send waits for its echo, so a command sent "at once" is here by then.
    QStringList wire()
    {
        waitForLine(window->line());
        return supply.receivedCommands();
    }
};
