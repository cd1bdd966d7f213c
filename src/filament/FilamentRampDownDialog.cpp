#include "filament/FilamentRampDownDialog.h"

#include "core/QtUserInterface.h"
#include "filament/FilamentRamp.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {
constexpr int kPercent = 100;
} // namespace

FilamentRampDownDialog::FilamentRampDownDialog(FilamentRamp &ramp, QWidget *parent) : QDialog(parent), m_ramp(ramp)
{
    setObjectName(QStringLiteral("Form_FilamentRampDown"));
    setWindowTitle(QStringLiteral("Shut Down"));
    auto *label = new QLabel(QStringLiteral("Ramping the filament down; close this window to switch it off at once."),
                             this);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress_Filament"));
    m_progress->setRange(0, kPercent);
    auto *column = new QVBoxLayout(this);
    column->addWidget(label);
    column->addWidget(m_progress);
    connect(&m_ramp, &FilamentRamp::progressChanged, this, [this](bool, float lastSent, float) {
        m_progress->setValue(m_from > 0.0f ? int(kPercent * (1.0f - lastSent / m_from)) : kPercent);
    });
    connect(&m_ramp, &FilamentRamp::finished, this, &QDialog::accept);
}

void FilamentRampDownDialog::run()
{
    m_from = m_ramp.lastSent();
    m_progress->setValue(0);
    m_ramp.rampDownAndOff(CommandSource::Shutdown);
    if (m_ramp.isRunning() && QtUserInterface::execModal(*this) != QDialog::Accepted && m_ramp.isRunning())
        m_ramp.switchOffNow(CommandSource::Shutdown);
}

int FilamentRampDownDialog::progressValue() const
{
    return m_progress->value();
}
