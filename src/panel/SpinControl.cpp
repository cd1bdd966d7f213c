#include "panel/SpinControl.h"

#include "core/UserInterface.h"
#include "core/PanelField.h"
#include "panel/EditField.h"
#include "core/FieldLimits.h"
#include "panel/SpinImages.h"
#include "panel/SpinStep.h"

#include <QMouseEvent>

#include <utility>

namespace {

QString spinNameFor(PanelField field)
{
    const char *base = field.kind == PanelField::Kind::Value  ? "Picture_value"
                       : field.kind == PanelField::Kind::Gain ? "Picture_gain"
                                                              : "Picture_offset";
    return QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(field.index);
}

} // namespace

SpinControl::SpinControl(EditField &field, const ModuleTable &table, UserInterface &ui, QWidget *parent)
    : QLabel(parent), m_field(field), m_table(table), m_ui(ui)
{
    setObjectName(spinNameFor(field.field()));
    setFrameShape(QFrame::NoFrame);
    setContentsMargins(0, 0, 0, 0);
    setFixedSize(SpinImages::kWidth, SpinImages::kHeight);
    setPixmap(SpinImages::rest());
}

bool SpinControl::runsRefreshCycle() const
{
    return m_field.field().kind == PanelField::Kind::Value;
}

void SpinControl::setConnectedImage(bool enabled)
{
    setEnabled(enabled);
    // Every read-back sets it, and a label given its pixmap again lays out and repaints anew.
    const QPixmap image = enabled ? SpinImages::rest() : SpinImages::disabled();
    if (pixmap().cacheKey() != image.cacheKey())
        setPixmap(image);
}

bool SpinControl::onUpperHalf(float y) const
{
    // The middle line itself belongs to the lower half.
    const float half = static_cast<float>(contentsRect().height()) / 2.0f;
    return y < half;
}

void SpinControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    event->accept();
    const float y = static_cast<float>(event->position().y() - contentsRect().top());
    const bool up = onUpperHalf(y);
    // The pressed image shows even when the press only beeps at a limit.
    setPixmap(up ? SpinImages::plusPressed() : SpinImages::minusPressed());

    const FieldLimits limits = FieldLimits::of(m_field.field(), m_table);
    const SpinStep step = SpinStep::of(m_field.text(), up, limits.lower, limits.upper, limits.step);
    if (step.beep) {
        m_ui.beep();
        return;
    }
    m_field.setText(step.newText);
    m_field.mark();
    if (runsRefreshCycle())
        emit sendNowRequested();
}

void SpinControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    // A read-back during the press may have disabled the control; keep its disabled image.
    if (isEnabled())
        setPixmap(SpinImages::rest());
}

void SpinControl::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double-click arrives here instead of as a press: it does not step
    // (the default handler would treat it as one more press).
    event->accept();
}
