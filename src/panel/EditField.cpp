#include "panel/EditField.h"

#include "core/UserInterface.h"
#include "device/SupplyModel.h"

#include <QApplication>
#include <QFocusEvent>
#include <QAbstractButton>
#include <QTimer>

namespace {



// Only a move of the focus to another control of this window is "leaving" the field; a
// window losing activation or a popup opening is not.
bool leavesForAnotherControl(Qt::FocusReason reason)
{
    switch (reason) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::MouseFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        return true;
    default:
        return false;
    }
}

} // namespace

EditField::EditField(PanelField field, SupplyModel &model, UserInterface &ui, QWidget *parent)
    : QLineEdit(model.fieldText(field), parent), m_field(field), m_model(model), m_ui(ui)
{
    setObjectName(field.controlName());
    setToolTip(toolTipFor(field));
    connect(this, &QLineEdit::textChanged, &m_model,
            [this](const QString &text) { m_model.setFieldText(m_field, text); });
    connect(&m_model, &SupplyModel::fieldTextChanged, this, [this](PanelField changed, const QString &text) {
        if (changed == m_field && text != this->text())
            setText(text);
    });
}

bool EditField::isMarked() const
{
    return m_model.isMarked(m_field);
}

void EditField::mark()
{
    m_model.markField(m_field);
}

QString EditField::toolTipFor(PanelField field)
{
    if (!field.exists())
        return {};
    switch (field.kind) {
    case PanelField::Kind::Value:
        switch (field.index) {
        case 0:
            return QStringLiteral("Energy = 0 ... 1000 eV");
        case 1:
            return QStringLiteral("Cathode = 0 ... 2.3 A");
        default:
            return QStringLiteral("Screen = 0 ... 10 kV");
        }
    case PanelField::Kind::Gain:
        switch (field.index) {
        case 3:
            return QStringLiteral("Gain = -150 ... 0");
        case 4:
        case 6:
            return QStringLiteral("Gain = 0 ... 500");
        default:
            return QStringLiteral("Gain = 0 ... 3000");
        }
    case PanelField::Kind::Offset:
        switch (field.index) {
        case 3:
            return QStringLiteral("Offset = -150 ... 0");
        case 4:
            return QStringLiteral("Offset = 0 ... 500");
        default:
            return QStringLiteral("Offset = -20 ... 100");
        }
    }
    return {};
}

void EditField::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (!leavesForAnotherControl(event->reason()))
        return;
    const auto *taker = qobject_cast<const EditField *>(QApplication::focusWidget());
    if (taker && taker->m_reclaimingFocus)
        return;
    checkRange();
}

void EditField::checkRange()
{
    const RangeCheck check = m_model.checkLimits(m_field);
    if (check.outOfRange) {
        // A mark from before must not let a refresh cycle, running while the box is open, send
        // the number being corrected.
        m_model.clearMark(m_field);
        m_ui.beep();
        m_ui.messageBox(check.message, QStringLiteral("Error"), UserInterface::Icon::Critical);
        setText(check.correctedText);
        // Setting the focus from inside the focus change that is still being delivered would
        // be undone by it; take it back once that change is complete.
        QTimer::singleShot(0, this, &EditField::reclaimFocus);
    }
    // Marked only now, with the corrected text in place, so no cycle sends the bad number.
    mark();
}

void EditField::reclaimFocus()
{
    if (!isEnabled() || !isVisible())
        return;
    // A button clicked to leave the field lost its release to the message box: do not leave it
    // drawn pressed.
    if (auto *button = qobject_cast<QAbstractButton *>(QApplication::focusWidget()))
        if (button->isDown() && !(QApplication::mouseButtons() & Qt::LeftButton))
            button->setDown(false);
    m_reclaimingFocus = true;
    setFocus(Qt::OtherFocusReason);
    m_reclaimingFocus = false;
}
