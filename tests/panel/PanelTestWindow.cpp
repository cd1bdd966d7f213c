#include "PanelTestWindow.h"

#include "panel/EditField.h"
#include "panel/SpinControl.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTest>

PanelTestWindow::PanelTestWindow()
{
    setObjectName(QStringLiteral("PanelTestWindow"));
    auto *layout = new QHBoxLayout(this);
    // Fields are built before the table is filled, as the main window does.
    energy = new EditField(PanelField::value(0), model, ui, this);
    energySpin = new SpinControl(*energy, table, ui, this);
    cathode = new EditField(PanelField::value(1), model, ui, this);
    cathodeSpin = new SpinControl(*cathode, table, ui, this);
    wehneltGain = new EditField(PanelField::gain(3), model, ui, this);
    wehneltGainSpin = new SpinControl(*wehneltGain, table, ui, this);
    button = new QPushButton(QStringLiteral("ON"), this);
    button->setObjectName(QStringLiteral("Command_On(1)"));
    for (QWidget *w : {static_cast<QWidget *>(energy), static_cast<QWidget *>(energySpin),
                       static_cast<QWidget *>(cathode), static_cast<QWidget *>(cathodeSpin),
                       static_cast<QWidget *>(wehneltGain), static_cast<QWidget *>(wehneltGainSpin),
                       static_cast<QWidget *>(button)})
        layout->addWidget(w);
    for (SpinControl *spin : {energySpin, cathodeSpin, wehneltGainSpin})
        connect(spin, &SpinControl::sendNowRequested, this, &PanelTestWindow::refreshCycle);
    table.fill(0);
}

bool PanelTestWindow::showActive()
{
    show();
    QApplication::setActiveWindow(this);
    activateWindow();
    return QTest::qWaitForWindowActive(this);
}

void PanelTestWindow::refreshCycle()
{
    ++cycles;
    if (duringCycle)
        duringCycle();
    for (const PanelField &field : kPanelFields) {
        if (!findField(field) || !model.isMarked(field))
            continue;
        sent << field.controlName() + QLatin1Char('=') + model.fieldText(field);
        model.clearMark(field);
    }
}


EditField *PanelTestWindow::findField(PanelField field) const
{
    return findChild<EditField *>(field.controlName());
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}
