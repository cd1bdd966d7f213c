#include "filament/FilamentDialog.h"

#include "core/Conversions.h"
#include "core/SettingsStore.h"
#include "filament/FilamentRamp.h"
#include "filament/PressureInterlock.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kRefreshMs = 1000;

QString numberText(double value)
{
    return FirstCommaToPoint(StrOf(float(value)));
}
} // namespace

FilamentDialog::FilamentDialog(FilamentRamp &ramp, PressureInterlock &interlock, QWidget *parent)
    : QDialog(parent), m_ramp(ramp), m_interlock(interlock)
{
    setObjectName(QStringLiteral("Form_Filament"));
    setWindowTitle(QStringLiteral("Filament"));
    setModal(false);
    m_rate = new QLineEdit(this);
    m_rate->setObjectName(QStringLiteral("Text_RampRate"));
    m_limit = new QLineEdit(this);
    m_limit->setObjectName(QStringLiteral("Text_PressureLimit"));
    m_stale = new QLineEdit(this);
    m_stale->setObjectName(QStringLiteral("Text_StaleSeconds"));
    m_pressure = new QLabel(this);
    m_pressure->setObjectName(QStringLiteral("Label_Pressure"));
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("Label_InterlockState"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Ramp rate (A/s, 0 = off):"), m_rate);
    form->addRow(QStringLiteral("Pressure &limit (mbar, 0 = off):"), m_limit);
    form->addRow(QStringLiteral("&Stale after (s):"), m_stale);
    form->addRow(QStringLiteral("Pressure:"), m_pressure);
    form->addRow(QStringLiteral("Interlock:"), m_state);

    auto *apply = new QPushButton(QStringLiteral("&Apply"), this);
    apply->setObjectName(QStringLiteral("Command_Apply"));
    connect(apply, &QPushButton::clicked, this, &FilamentDialog::onApply);
    m_rearm = new QPushButton(QStringLiteral("Re-&arm"), this);
    m_rearm->setObjectName(QStringLiteral("Command_Rearm"));
    connect(m_rearm, &QPushButton::clicked, this, &FilamentDialog::onRearm);
    auto *close = new QPushButton(QStringLiteral("Cl&ose"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(apply);
    buttons->addWidget(m_rearm);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto *column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addLayout(buttons);

    connect(&m_interlock, &PressureInterlock::stateChanged, this, &FilamentDialog::showState);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &FilamentDialog::showState);
}

void FilamentDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_rate->setText(numberText(m_ramp.rate()));
    m_limit->setText(numberText(m_interlock.limit()));
    m_stale->setText(numberText(m_interlock.staleSeconds()));
    showState();
    m_refresh.start();
}

void FilamentDialog::onApply()
{
    m_ramp.setRate(ValOf(m_rate->text()));
    m_interlock.setLimit(ValOf(m_limit->text()));
    m_interlock.setStaleSeconds(ValOf(m_stale->text()));
    SettingsStore::writeText(FilamentRamp::kSection, FilamentRamp::kRateKey, numberText(m_ramp.rate()));
    SettingsStore::writeText(PressureInterlock::kSection, PressureInterlock::kLimitKey, numberText(m_interlock.limit()));
    SettingsStore::writeText(PressureInterlock::kSection, PressureInterlock::kStaleKey,
                             numberText(m_interlock.staleSeconds()));
    // What was taken, as it was understood.
    m_rate->setText(numberText(m_ramp.rate()));
    m_limit->setText(numberText(m_interlock.limit()));
    m_stale->setText(numberText(m_interlock.staleSeconds()));
    showState();
}

void FilamentDialog::onRearm()
{
    m_interlock.rearm();
    showState();
}

QString FilamentDialog::stateText() const
{
    return m_state->text();
}

void FilamentDialog::showState()
{
    const std::optional<double> pressure = m_interlock.pressure();
    m_pressure->setText(pressure ? numberText(*pressure) + (m_interlock.isFresh() ? QStringLiteral(" mbar")
                                                                                  : QStringLiteral(" mbar (stale)"))
                                 : QStringLiteral("none"));
    m_state->setText(m_interlock.stateText());
    m_rearm->setEnabled(m_interlock.canRearm());
    if (!isVisible())
        m_refresh.stop();
}
