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
    energy = new EditField(PanelField::value(0), table, ui, this);
    energySpin = new SpinControl(*energy, table, ui, refreshCycleFunction(), this);
    cathode = new EditField(PanelField::value(1), table, ui, this);
    cathodeSpin = new SpinControl(*cathode, table, ui, refreshCycleFunction(), this);
    wehneltGain = new EditField(PanelField::gain(3), table, ui, this);
    wehneltGainSpin = new SpinControl(*wehneltGain, table, ui, refreshCycleFunction(), this);
    button = new QPushButton(QStringLiteral("ON"), this);
    button->setObjectName(QStringLiteral("Command_On(1)"));
    for (QWidget *w : {static_cast<QWidget *>(energy), static_cast<QWidget *>(energySpin),
                       static_cast<QWidget *>(cathode), static_cast<QWidget *>(cathodeSpin),
                       static_cast<QWidget *>(wehneltGain), static_cast<QWidget *>(wehneltGainSpin),
                       static_cast<QWidget *>(button)})
        layout->addWidget(w);
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
        if (!findField(field) || fieldTag(field) != kTagChanged)
            continue;
        sent << field.controlName() + QLatin1Char('=') + fieldText(field);
        setFieldTag(field, QString());
    }
}

std::function<void()> PanelTestWindow::refreshCycleFunction()
{
    return [this] { refreshCycle(); };
}

EditField *PanelTestWindow::findField(PanelField field) const
{
    return findChild<EditField *>(field.controlName());
}

QString PanelTestWindow::fieldText(PanelField field) const
{
    const EditField *f = findField(field);
    return f ? f->text() : QString();
}

void PanelTestWindow::setFieldText(PanelField field, const QString &text)
{
    if (EditField *f = findField(field))
        f->setText(text);
}

QString PanelTestWindow::fieldTag(PanelField field) const
{
    const EditField *f = findField(field);
    return f ? f->tag() : QString();
}

void PanelTestWindow::setFieldTag(PanelField field, const QString &tag)
{
    if (EditField *f = findField(field))
        f->setTag(tag);
}

bool PanelTestWindow::fieldEnabled(PanelField field) const
{
    const EditField *f = findField(field);
    return f && f->isEnabled();
}

QString PanelTestWindow::switchTag(int) const
{
    return {};
}

void PanelTestWindow::setSwitchTag(int, const QString &) {}

void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}
